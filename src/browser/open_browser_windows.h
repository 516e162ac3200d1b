#pragma once

// The browser windows already open on the desktop: the pages of a Chromium-family browser that
// was started with a DevTools port (--remote-debugging-port), read through the DevTools
// protocol. The page list comes from the browser's HTTP endpoint (/json/list); each page's
// document is read by running the same snapshot script as the browser view's, with
// Runtime.evaluate over the page's own WebSocket.
//
// Every wait runs a nested event loop with a deadline: timers and window events keep being
// handled meanwhile, and no browser answering costs the time of a refused connection.

#include <memory>
#include <vector>

#include <QString>
#include <QUrl>

#include "browser/page_snapshot.h"
#include "capture/document/snapshot_document.h"

namespace tabvoro::browser {

inline constexpr const char *kDefaultDevToolsEndpoint = "http://127.0.0.1:9222";

// TABVORO_DEVTOOLS when set and not empty, otherwise kDefaultDevToolsEndpoint.
QUrl devToolsEndpoint();

struct OpenBrowserPage {
    QString url;
    // What the snapshot request took of its document; null when the page could not be read.
    std::unique_ptr<capture::SnapshotDocument> document;
};

struct DevToolsDeadlines {
    int listMs = 1500;   // the page list
    int pagesMs = 3000;  // all the pages' documents together: they are read side by side
};

// The pages of type "page" the browser at `endpoint` lists, in its order. Nothing when no
// browser answers there in time or the answer is not a page list.
std::vector<OpenBrowserPage> readOpenBrowserPages(const QUrl &endpoint, const SnapshotRequest &request,
                                                  DevToolsDeadlines deadlines = {});

}  // namespace tabvoro::browser
