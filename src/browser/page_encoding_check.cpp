#include "browser/page_encoding_check.h"

#include <utility>

#include <QVariantMap>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineSettings>

#include "browser/browser_engine.h"
#include "capture/document/encoding_detection.h"
#include "capture/document/html_charset.h"
#include "capture/document/web_encoding.h"

namespace tabvoro::browser {

namespace {

// Null for a page that names its encoding in a meta tag (the one script a labeled page costs),
// for one read as UTF-8 whole, for one that names it in its HTTP header (asked for with HEAD,
// which brings no body), and for what is not an HTML page. Else the page's bytes fetched again, each byte one character (x-user-defined),
// with what the view made of them and the size of the body it was given.
const QString kScript = QStringLiteral(R"((function () {
  try {
    if (document.contentType !== 'text/html') return null;
    var metas = document.getElementsByTagName('meta');
    for (var i = 0; i < metas.length; ++i) {
      var meta = metas[i];
      if (meta.hasAttribute('charset') || (/^\s*content-type\s*$/i.test(meta.httpEquiv) && /charset/i.test(meta.content)))
        return null;
    }
    // Read as UTF-8 without a byte it could not read: the bytes are valid UTF-8, which is what
    // the engine decides too (most pages of today, at the cost of this one look).
    if (document.characterSet === 'UTF-8' && document.documentElement.outerHTML.indexOf('\uFFFD') < 0)
      return null;
    var charsetOf = function (type) {
      var found = /charset\s*=\s*["']?([^;"'\s]+)/i.exec(type || '');
      return found ? found[1] : '';
    };
    var fetch = function (method) {
      var request = new XMLHttpRequest();
      request.open(method, location.href, false);
      request.overrideMimeType('text/plain; charset=x-user-defined');
      request.send();
      return request;
    };
    if (location.protocol !== 'file:' && charsetOf(fetch('HEAD').getResponseHeader('Content-Type')))
      return null;
    var page = fetch('GET');
    if (page.status && (page.status < 200 || page.status > 299)) return null;
    var entry = performance.getEntriesByType('navigation')[0];
    return {charset: document.characterSet, header: charsetOf(page.getResponseHeader('Content-Type')),
            bytes: page.responseText, size: entry ? entry.decodedBodySize : 0};
  } catch (e) {
    return null;
  }
})())");

constexpr int kCheckTimeoutMs = 20000;

// The engine shows a page again from its bytes through a data: address, which it refuses past
// this length.
constexpr qsizetype kMaxDataUrl = 2 * 1024 * 1024;

qsizetype dataUrlLength(const QString &mimeType, const QByteArray &content)
{
    qsizetype length = 6 + mimeType.size();  // "data:" and ","
    for (const char c : content) {
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        length += unreserved ? 1 : 3;
    }
    return length;
}

// x-user-defined gives byte b as b below 0x80 and as U+F780 + (b - 0x80) above.
std::string bytesOf(const QString &text)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text)
        bytes.push_back(static_cast<char>(c.unicode() & 0xFF));
    return bytes;
}

// Two encodings that read these bytes alike (GBK and gb18030 on most Chinese pages, two
// single-byte encodings on ASCII text) need no second showing.
bool readAlike(const std::string &bytes, std::string_view encoding, std::string_view other)
{
    return capture::html::decodeWebText(bytes, encoding) == capture::html::decodeWebText(bytes, other);
}

}  // namespace

PageEncodingCheck::PageEncodingCheck(BrowserEngine &browser, QWebEnginePage &page) : m_browser(browser), m_page(page)
{
    // The engine's own detector finds UTF-8 but does not act on it (pages are to say so), and
    // falls back to this: UTF-8 is what the engine decides for valid UTF-8.
    m_page.settings()->setDefaultTextEncoding(QStringLiteral("UTF-8"));
}

bool PageEncodingCheck::redecodes(const QUrl &url, bool ok)
{
    if (!m_redecoding.isEmpty() && std::exchange(m_redecoding, QUrl()) == url)
        return false;
    static const QStringList kSchemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file")};
    if (!ok || !kSchemes.contains(url.scheme()))
        return false;

    const auto answer = m_browser.evaluate(kScript, kCheckTimeoutMs);
    if (!answer || answer->typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap page = answer->toMap();
    const std::string bytes = bytesOf(page.value(QStringLiteral("bytes")).toString());
    // A page that answers every request anew (or the answer to a form, which a second request
    // does not repeat) is not the page shown.
    const qint64 shownSize = page.value(QStringLiteral("size")).toLongLong();
    if (shownSize > 0 && shownSize != static_cast<qint64>(bytes.size()))
        return false;

    const auto decision = capture::html::pageEncoding(bytes, page.value(QStringLiteral("header")).toString().toStdString());
    const auto shown = capture::html::metaEncoding(page.value(QStringLiteral("charset")).toString().toStdString());
    if (decision.labeled || (shown && (*shown == decision.name || readAlike(bytes, *shown, decision.name))))
        return false;

    const QString mimeType = QStringLiteral("text/html;charset=") + QString::fromStdString(decision.name);
    const QByteArray content = QByteArray::fromStdString(bytes);
    if (dataUrlLength(mimeType, content) > kMaxDataUrl)
        return false;
    m_redecoding = url;
    m_page.setContent(content, mimeType, url);
    return true;
}

void PageEncodingCheck::goInHistory(int direction)
{
    QWebEngineHistory *history = m_page.history();
    // The entry of a page shown again holds the page's bytes as a data: address, which a page
    // itself cannot open at the top level.
    const auto firstDecoded = [history](int index) {
        return index + 1 < history->count() && history->itemAt(index + 1).url().scheme() == QLatin1String("data");
    };
    int target = history->currentItemIndex() + direction;
    while (target >= 0 && target < history->count() && firstDecoded(target))
        target += direction;
    if (target >= 0 && target < history->count())
        history->goToItem(history->itemAt(target));
}

}  // namespace tabvoro::browser
