#pragma once

// Process-wide set-up of the web engine, shared by the window program and the window tests.

#include <QString>

class QWebEngineProfile;

namespace tabvoro::browser {

// Call before the QApplication exists: the engine reads its switches and the context sharing
// attribute only once, when it starts.
void prepareWebEngine();

// The Chromium switches to run with, given the ones the user set. Exposed for tests.
QString chromiumFlags(const QString &userFlags, bool runningAsRoot, bool offscreen);

// The profile every view of this process uses: off the record, nothing cached, so no cookie or
// page outlives the process and a page is always fetched anew. Needs the application object.
QWebEngineProfile *sharedProfile();

}  // namespace tabvoro::browser
