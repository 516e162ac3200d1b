#pragma once

// Makes the view decode a page that names no encoding as the engine does (pageEncoding()), so
// that the view and the static document read every page alike. The engine left to itself takes
// an unlabeled page for its default encoding whenever its own detector finds UTF-8, and finds
// other encodings by a detector of its own: the view is set to UTF-8 for the first, and a page
// decoded otherwise than the engine decides is shown again from its bytes, labeled with that
// decision, before anything is read from it.

#include <QUrl>

class QWebEnginePage;

namespace tabvoro::browser {

class BrowserEngine;

class PageEncodingCheck {
public:
    // Reads the page through `browser`, which shows `page`.
    PageEncodingCheck(BrowserEngine &browser, QWebEnginePage &page);

    // Called when the main frame's load of `url` has finished. True when the page is being
    // shown again, decoded as the engine decides: only the end of that load completes the
    // document. A labeled page costs one small script; a page shown again is never checked
    // twice in a row.
    bool redecodes(const QUrl &url, bool ok);

    // Goes one page back (-1) or forward (+1) in the history. A page shown again has two
    // entries there, as first decoded and as shown again: the first is passed over, which would
    // only be shown again once more and drop the pages after it.
    void goInHistory(int direction);

private:
    BrowserEngine &m_browser;
    QWebEnginePage &m_page;
    // The address shown again, until its load ends.
    QUrl m_redecoding;
};

}  // namespace tabvoro::browser
