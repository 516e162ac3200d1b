#pragma once

// One read of the page for a handler of the window.

#include <memory>

#include "browser/browser_engine.h"
#include "browser/page_snapshot.h"
#include "capture/document/snapshot_document.h"

namespace tabvoro::ui {

// The page as `request` reads it. A page that cannot be read is an empty document: every part
// of it reads as missing, which the engine takes as a page without text, tables, frames or links.
inline std::unique_ptr<capture::SnapshotDocument> readPage(browser::BrowserEngine *view,
                                                           const browser::SnapshotRequest &request)
{
    auto document = browser::takeSnapshot([view](const QString &script) { return view->evaluate(script); }, request);
    return document ? std::move(*document) : std::make_unique<capture::SnapshotDocument>();
}

}  // namespace tabvoro::ui
