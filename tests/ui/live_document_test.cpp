// The live document: pages shown in a real web view, read by snapshot through the same document
// model as the static document of the same HTML.

#include <map>
#include <memory>
#include <optional>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include "browser/page_snapshot.h"
#include "browser/web_engine_setup.h"
#include "browser/web_page.h"
#include "capture/capture_table.h"
#include "capture/document/document_dump.h"
#include "capture/document/static_document.h"
#include "capture/text_rules.h"
#include "support/local_http_server.h"

using namespace tabvoro;
using browser::SnapshotRequest;
using capture::SnapshotDocument;

namespace {

class QuietPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &) override {}
};

std::string str(const QString &text) { return text.toStdString(); }

// The value of a read that must succeed; the tables and elements read through it are pointers,
// so a failure ends the run here rather than in a crash further on.
template <class T>
T value(const capture::Read<T> &read)
{
    if (!read)
        qFatal("unexpected failing read: %s", read.error().message.c_str());
    return *read;
}

template <class T>
QString failureOf(const capture::Read<T> &read)
{
    return read ? QStringLiteral("(no failure)") : QString::fromStdString(read.error().message);
}

}  // namespace

Q_DECLARE_METATYPE(tabvoro::capture::CaptureSettings)

namespace QTest {
template <>
inline char *toString(const std::string &text)
{
    return qstrdup(text.c_str());
}
}  // namespace QTest

class LiveDocumentTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    // The snapshot document filled by hand.
    void tableTextFollowsTheModel();
    void cutCellHtmlGivesTheSameCellValue();

    // Snapshots of pages.
    void partsNotAskedForFail();
    void firstRowsAnswerTheTableListing();
    void elementsAnswerTheNextPageStep();
    void pageScriptsCannotBreakTheSnapshot();
    void framesOfEveryOriginRead();
    void fixturesReadAsTheStaticDocumentExpects_data();
    void fixturesReadAsTheStaticDocumentExpects();
    void captureMatchesTheStaticDocument_data();
    void captureMatchesTheStaticDocument();
    void largeTableSnapshotForACapture();

private:
    bool load(const QUrl &url);
    capture::Result<QVariant> evaluate(const QString &script);
    std::unique_ptr<SnapshotDocument> snapshot(const SnapshotRequest &request);
    std::unique_ptr<SnapshotDocument> snapshotOf(const QByteArray &html, const SnapshotRequest &request);

    QWebEngineView m_view;
    QuietPage *m_page = nullptr;
    test::LocalHttpServer m_server;
    test::LocalHttpServer m_otherOrigin;  // another port: another origin
    int m_pages = 0;
};

void LiveDocumentTest::initTestCase()
{
    m_page = new QuietPage(&m_view);
    // The window's page answers a read of a frame from another origin by this script.
    m_page->scripts().insert(browser::WebPage::frameAnswerer());
    m_view.setPage(m_page);
    m_view.resize(1024, 768);
    m_view.show();
}

bool LiveDocumentTest::load(const QUrl &url)
{
    // Only the end of this load counts: one of the page before it, cut short by this one, ends
    // as failed first.
    std::optional<bool> succeeded;
    QEventLoop loop;
    connect(m_page, &QWebEnginePage::loadingChanged, &loop, [&](const QWebEngineLoadingInfo &info) {
        if (info.url() != url || info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
            return;
        succeeded = info.status() == QWebEngineLoadingInfo::LoadSucceededStatus;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    m_page->load(url);
    loop.exec();
    return succeeded.value_or(false);
}

// As the window's WebBrowser::evaluate does it: in the isolated world, the answer awaited in a
// nested loop with a time limit.
capture::Result<QVariant> LiveDocumentTest::evaluate(const QString &script)
{
    auto answer = std::make_shared<std::optional<QVariant>>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [answer, waiting](const QVariant &result) {
        *answer = result;
        if (waiting)
            waiting->quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (!answer->has_value())
        loop.exec();
    if (!answer->has_value())
        return capture::failure("the page did not answer in time");
    return **answer;
}

std::unique_ptr<SnapshotDocument> LiveDocumentTest::snapshot(const SnapshotRequest &request)
{
    auto taken = browser::takeSnapshot([this](const QString &script) { return evaluate(script); }, request);
    if (!taken)
        qFatal("snapshot failed: %s", taken.error().message.c_str());
    return std::move(*taken);
}

std::unique_ptr<SnapshotDocument> LiveDocumentTest::snapshotOf(const QByteArray &html, const SnapshotRequest &request)
{
    const QString path = QStringLiteral("/page%1.html").arg(++m_pages);
    m_server.addPage(path, html);
    if (!load(m_server.url(path)))
        qFatal("page %s did not load", qPrintable(path));
    return snapshot(request);
}

// ---- The snapshot document

void LiveDocumentTest::tableTextFollowsTheModel()
{
    capture::SnapshotTable table(0);
    table.addRow();
    table.addCell("a");
    table.addCell("b", 2, 1);
    table.addRow();
    table.addCell("中");
    table.addRow();  // a row without cells still ends a line
    QCOMPARE(value(table.text()), "ab\r\n中\r\n");
    QCOMPARE(value(table.textSize()), 9u);
    QCOMPARE(value(table.textLength()), 7u);

    // Of a table whose first row alone was taken, what that row decides is known.
    capture::SnapshotTable first(2);
    first.setRowCount(100000);
    first.addCell("Name");
    first.addCell("Price", 1, 3);
    const struct {
        const capture::SnapshotTable &table;
        const char *prefix;
        std::optional<bool> starts;  // nullopt: cannot tell
    } cases[] = {
        {table, "", true}, {table, "ab\r\n中", true}, {table, "ab\r\n中\r\n", true},
        {table, "ab\r\n中\r\nx", false}, {table, "a中", false}, {table, "b", false},
        {first, "NamePr", true}, {first, "NameX", false}, {first, "NamePrice\r\n", true},
        {first, "NamePrice\n", false}, {first, "NamePrice\r\nx", std::nullopt},
    };
    for (const auto &c : cases) {
        const auto starts = c.table.textStartsWith(c.prefix);
        QCOMPARE(starts ? std::optional<bool>(*starts) : std::nullopt, c.starts);
    }
    QVERIFY(failureOf(first.text()).contains(QLatin1String("text of table 2")));
    QVERIFY(failureOf(first.cellText(1, 0)).contains(QLatin1String("cells of row 1 of table 2")));
    QCOMPARE(failureOf(first.cellCount(100000)), QStringLiteral("no row 100000 in table 2"));
    QCOMPARE(failureOf(first.cellText(0, 2)), QStringLiteral("no cell 2 in row 0 of table 2"));

    // Packed as it is, a table as big as pages get keeps every cell in reach.
    capture::SnapshotTable big(0);
    for (int r = 0; r < 100000; ++r) {
        big.addRow();
        for (int c = 0; c < 10; ++c)
            big.addCell(std::to_string(r) + ":" + std::to_string(c));
    }
    QCOMPARE(value(big.cellText(99999, 9)), "99999:9");
    QCOMPARE(value(big.cellCount(50000)), 10u);
}

void LiveDocumentTest::cutCellHtmlGivesTheSameCellValue()
{
    // Whatever a cell holds, its cut HTML gives the capture's link mode what the whole does.
    const std::string cells[] = {
        "",
        "plain text",
        R"(<a href="item.htm?id=7&amp;s=1">Lamp</a> <a href="second.htm">2</a>)",
        R"(<a href="http://Other.example/x">x</a>)",
        R"(see href <a href="y.htm">y</a>)",
        R"(<a title="href">no address</a>)",
        R"(<a href="unterminated)",
        R"(<img src="a.png"><a class="k" href=" spaced.htm ">s</a>)",
        "href",
    };
    capture::SnapshotTable whole(0), cut(0);
    whole.setCellHtmlForm(capture::CellHtmlForm::Whole);
    cut.setCellHtmlForm(capture::CellHtmlForm::ThroughFirstHref);
    for (const std::string &html : cells) {
        for (capture::SnapshotTable *table : {&whole, &cut}) {
            table->addRow();
            table->addCell("text of the cell");
            table->addCellHtml(html);
        }
    }
    QCOMPARE(value(cut.cellInnerHtml(2, 0)), R"(<a href="item.htm?id=7&amp;s=1")");
    QCOMPARE(value(cut.cellInnerHtml(1, 0)), "");
    for (std::size_t r = 0; r < std::size(cells); ++r)
        QCOMPARE(capture::cellValue(cut, r, 0, true, "http://shop.example/list/page.htm"),
                 capture::cellValue(whole, r, 0, true, "http://shop.example/list/page.htm"));
}

// ---- Parts of a snapshot

const QByteArray kListPage = R"(<!DOCTYPE html><html><body><p>Intro</p>
<table>
<thead><tr><th>Name</th><th>Link</th></tr></thead>
<tr><td>one</td><td><a href="/item?id=1&amp;k=2">first</a> and <a href="/second">second</a></td></tr>
<tr><td>two<br>lines</td><td><a href="http://other.example/x">abs</a></td></tr>
<tr><td colspan="2"><a href="?p=2">下一页</a> 共2页</td></tr>
</table>
<form name="f"><input name="q" value="v1"><select name="s"><option value="o1">O</option></select>
<button type="button">下一页</button><img src="n.png" alt="下一页"><a href="/x">其他</a></form>
</body></html>)";

void LiveDocumentTest::partsNotAskedForFail()
{
    SnapshotRequest request;
    request.tables = SnapshotRequest::Tables::Cells;
    request.rowNeedle = "下一页";
    request.cellHtml = capture::CellHtmlForm::ThroughFirstHref;
    const auto doc = snapshotOf(kListPage, request);

    const capture::Table &table = *value(doc->table(0));
    QCOMPARE(value(table.cellText(2, 0)), "two\r\nlines");
    QCOMPARE(value(doc->baseUrl()), str(m_server.url(QStringLiteral("/page%1.html").arg(m_pages)).toString()));
    QList<bool> pager;
    for (std::size_t r = 0; r < 4; ++r)
        pager.append(value(table.rowHtmlContains(r, "下一页")));
    QCOMPARE(pager, (QList<bool>{false, false, false, true}));
    // The address as the browser serialises it, and no further than the capture reads.
    QCOMPARE(value(table.cellInnerHtml(1, 1)), R"(<a href="/item?id=1&amp;k=2")");
    QCOMPARE(capture::cellValue(table, 1, 1, true, value(doc->baseUrl())),
             str(m_server.url(QStringLiteral("/item?id=1&k=2")).toString()));

    const QString missing[] = {
        failureOf(doc->bodyText()),          failureOf(doc->elementCount()),
        failureOf(doc->links()),             failureOf(doc->frame(0)),
        failureOf(table.rowInnerHtml(0)),    failureOf(table.rowHtmlContains(3, "pager")),
    };
    for (const QString &message : missing)
        QVERIFY2(message.contains(QLatin1String("(not asked for)")), qPrintable(message));
    QVERIFY(failureOf(table.rowHtmlContains(3, "pager")).contains(QStringLiteral("\"下一页\", not \"pager\"")));
    QCOMPARE(failureOf(table.cellText(4, 0)), QStringLiteral("no row 4 in table 0"));

    SnapshotRequest count;
    count.tables = SnapshotRequest::Tables::Count;
    const auto counted = snapshot(count);
    QCOMPARE(value(counted->tableCount()), 1u);
    QVERIFY(failureOf(counted->table(0)).contains(QLatin1String("contents of table 0 (not asked for)")));
    QVERIFY(failureOf(snapshot({})->tableCount()).contains(QLatin1String("no tables (not asked for)")));
}

void LiveDocumentTest::firstRowsAnswerTheTableListing()
{
    const auto listing = snapshotOf(kListPage, SnapshotRequest::forTableListing({}));
    SnapshotRequest cells;
    cells.tables = SnapshotRequest::Tables::Cells;
    const std::string text = value(value(snapshot(cells)->table(0))->text());

    const capture::SnapshotTable &first = *value(listing->snapshotTable(0));
    QCOMPARE(first.rowsTaken(), 1u);
    QCOMPARE(value(first.rowCount()), 4u);
    QCOMPARE(value(first.cellText(0, 1)), "Link");
    // Measured in the page over every row, as the text would be built from them.
    QCOMPARE(value(first.textSize()), text.size());
    QCOMPARE(value(first.textLength()), capture::utf8Length(text));
    QVERIFY(value(first.textStartsWith("NameLi")));
}

void LiveDocumentTest::elementsAnswerTheNextPageStep()
{
    // The step's list takes only what the step acts on; every element it takes reads as in the
    // whole list, at the same index. With many controls their places are counted another way.
    QByteArray manyControls = kListPage;
    manyControls.replace("<p>Intro</p>", QByteArray("<p>Intro</p>") + QByteArray("<input name=\"n\">").repeated(20));
    for (const QByteArray &page : {kListPage, manyControls}) {
        SnapshotRequest request = SnapshotRequest::forNextPage("下一页");
        request.links = true;
        const auto doc = snapshotOf(page, request);
        SnapshotRequest whole = request;
        whole.stepElementsOnly = false;
        const auto full = snapshotOf(page, whole);
        // Its length reaches at least past the last element taken (the keyword is no position).
        QVERIFY(value(doc->elementCount()) <= value(full->elementCount()));

        std::map<std::string, int> holding;
        std::size_t taken = 0;
        for (std::size_t i = 0; i < value(full->elementCount()); ++i) {
            const capture::SnapshotElement &f = *value(full->snapshotElement(i));
            const std::string tag = value(f.tagName());
            const auto e = i < value(doc->elementCount()) ? doc->snapshotElement(i)
                                                          : capture::Read<const capture::SnapshotElement *>(
                                                                capture::failure("past the next-page step's elements"));
            const auto asked = f.innerHtmlContains("下一页");
            const bool contains = asked.value_or(false);
            if (asked)
                holding[tag] += contains ? 1 : 0;
            if (!(contains || tag == "INPUT" || tag == "SELECT")) {
                QVERIFY2(failureOf(e).contains(QLatin1String("next-page step")), qPrintable(failureOf(e)));
                continue;
            }
            ++taken;
            QCOMPARE(value(value(e)->tagName()) + value(value(e)->name()) + value(value(e)->type()) +
                         value(value(e)->value()),
                     tag + value(f.name()) + value(f.type()) + value(f.value()));
            QCOMPARE(value(e)->innerHtmlContains("下一页").value_or(false), contains);
        }
        // An image's alt is its own attribute, not inner HTML; only A, IMG and BUTTON were asked.
        QCOMPARE(holding, (std::map<std::string, int>{{"A", 1}, {"BUTTON", 1}, {"IMG", 0}}));
        QCOMPARE(taken, page == kListPage ? 4u : 24u);
        const capture::SnapshotElement &button = *value(doc->snapshotElement(value(full->elementCount()) - 3));
        QVERIFY(failureOf(button.innerHtml()).contains(QLatin1String("only whether it contains")));

        const auto links = value(doc->links());
        QCOMPARE(links.size(), 5u);
        QCOMPARE(links[0], str(m_server.url(QStringLiteral("/item?id=1&k=2")).toString()));
    }
}

void LiveDocumentTest::pageScriptsCannotBreakTheSnapshot()
{
    const QByteArray page = R"(<!DOCTYPE html><html><body><table><tr><td>kept</td></tr></table><script>
JSON.stringify = function () { return '"broken"'; };
Array.prototype.map = Array.from = function () { return []; };
Object.defineProperty(HTMLElement.prototype, 'innerText', {get() { return 'forged'; }});
</script></body></html>)";
    SnapshotRequest request;
    request.tables = SnapshotRequest::Tables::Cells;
    QCOMPARE(value(value(snapshotOf(page, request)->table(0))->cellText(0, 0)), "kept");
}

// ---- Frames

void LiveDocumentTest::framesOfEveryOriginRead()
{
    const QByteArray inner = R"(<table><tr><td>B</td></tr><tr><td>b1</td></tr></table>)";
    m_server.addPage(QStringLiteral("/inner.html"), inner);
    m_otherOrigin.addPage(QStringLiteral("/inner.html"), inner);
    // A frame of another origin answers with what it can read itself: not its own frame of
    // another origin than its own.
    m_otherOrigin.addPage(QStringLiteral("/nesting.html"),
                          R"(<iframe src=")" + m_server.url(QStringLiteral("/inner.html")).toEncoded() + R"("></iframe>)");
    const QByteArray page = R"(<!DOCTYPE html><html><body><iframe name="other" src=")" +
                            m_otherOrigin.url(QStringLiteral("/inner.html")).toEncoded() +
                            R"("></iframe><iframe name="same" src="/inner.html"></iframe>)"
                            R"(<iframe name="nesting" src=")" + m_otherOrigin.url(QStringLiteral("/nesting.html")).toEncoded() +
                            R"("></iframe></body></html>)";
    SnapshotRequest request;
    request.tables = SnapshotRequest::Tables::Cells;
    request.frames = SnapshotRequest::Frames::Contents;
    const auto doc = snapshotOf(page, request);
    for (const std::size_t index : {0, 1}) {
        const capture::Frame frame = value(doc->frame(index));
        QCOMPARE(frame.name, index ? "same" : "other");
        QCOMPARE(value(value(frame.document->table(0))->text()), "B\r\nb1");
    }
    QCOMPARE(failureOf(value(doc->frame(2)).document->frame(0)),
             QStringLiteral("frame 0 cannot be read: it is from another origin"));
    QCOMPARE(failureOf(doc->frame(3)), QStringLiteral("no frame 3"));

    // The capture in a frame reads that frame alone, whatever its origin.
    for (const char *number : {"0", "1"}) {
        capture::CaptureSettings settings;
        settings.inFrame = true;
        settings.frameText = number;
        const auto inFrame = snapshot(SnapshotRequest::forCapture(settings));
        QVERIFY(!inFrame->tableCount());
        capture::CaptureSession session;
        QCOMPARE(capture::CaptureTable(*inFrame, settings, session).text, "b1\r\n");
    }
}

// ---- The fixtures of the static document, read by the browser

void LiveDocumentTest::fixturesReadAsTheStaticDocumentExpects_data()
{
    QTest::addColumn<QString>("page");
    const QDir folder(QStringLiteral(TABVORO_FIXTURES "/document"));
    const QStringList pages = folder.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    QVERIFY2(!pages.isEmpty(), "no fixtures in tests/fixtures/document");
    for (const QString &page : pages)
        if (folder.exists(QFileInfo(page).completeBaseName() + QStringLiteral(".expected")))
            QTest::newRow(qPrintable(page)) << page;
}

// Where the browser reads a fixture otherwise than the static document, and why. Each entry
// turns a line of the static reading into the browser's; any other difference fails, and so
// does an entry whose line the static reading no longer has.
const struct KnownDifference {
    const char *page;
    const char *staticLine;
    const char *browserLine;
    const char *reason;
} kKnownDifferences[] = {
    {"whitespace.html",
     R"(body "leading and trailing blanks\r\nspread over lines\tbold italic end\t\u00a0kept\u00a0\u00a0spaces\ttab inside")",
     R"(body "leading and trailing blanks\r\nspread over lines\tbold italic end\t\u00a0kept\u00a0\u00a0spaces\ttab inside\r\nnot text")",
     "the page's document.write runs in the browser; the static document runs no script"},
};

void LiveDocumentTest::fixturesReadAsTheStaticDocumentExpects()
{
    QFETCH(QString, page);
    // Served without a charset, as a saved page has none: its own byte-order mark or meta tag
    // decides, as it does for the static document.
    const QDir fixtures(QStringLiteral(TABVORO_FIXTURES "/document"));
    for (const QString &name : fixtures.entryList(QDir::Files)) {
        QFile file(fixtures.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        m_server.addPage(QStringLiteral("/document/") + name, file.readAll(),
                         name.endsWith(QLatin1String(".html")) ? QByteArrayLiteral("text/html") : QByteArray());
    }
    QVERIFY(load(m_server.url(QStringLiteral("/document/") + page)));
    QString dump = QString::fromStdString(capture::dumpDocument(*snapshot(SnapshotRequest::everything())));
    // The expected readings were made with the pages at this address.
    dump.replace(m_server.url(QStringLiteral("/")).toString(), QStringLiteral("http://fixtures.test/"));

    QFile file(QStringLiteral(TABVORO_FIXTURES "/document/") + QFileInfo(page).completeBaseName() +
               QStringLiteral(".expected"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList expected = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const KnownDifference &known : kKnownDifferences) {
        if (page != QLatin1String(known.page))
            continue;
        const qsizetype line = expected.indexOf(QString::fromUtf8(known.staticLine));
        QVERIFY2(line >= 0, qPrintable(QStringLiteral("known difference no longer in the static reading: ") + known.reason));
        expected[line] = QString::fromUtf8(known.browserLine);
    }
    const QStringList actual = dump.split(u'\n');
    for (qsizetype i = 0; i < std::max(expected.size(), actual.size()); ++i) {
        const QString want = expected.value(i, QStringLiteral("(end)"));
        const QString got = actual.value(i, QStringLiteral("(end)"));
        QVERIFY2(want == got, qPrintable(QStringLiteral("line %1\n  static:  %2\n  browser: %3").arg(i + 1).arg(want, got)));
    }
}

// ---- The capture reads the same from both documents

const QByteArray kCapturePage = R"(<!DOCTYPE html><html><head><meta charset="utf-8"></head><body>
<table border="1">
<tr><th rowspan="2">地区</th><th colspan="2">销量</th></tr>
<tr><th>一月</th><th>二月</th></tr>
<tr><td>北京</td><td>1,234</td><td><a href="detail.html?city=bj&amp;m=1">详情</a></td></tr>
<tr><td rowspan="2">上海</td><td>12,34</td><td><a href="http://example.com/sh">外链</a> <a href="/b">二</a></td></tr>
<tr><td>5</td><td>嵌套 <table><tr><td>内</td><td>表</td></tr><tr><td colspan="2">尾</td></tr></table></td></tr>
<tr><td colspan="3"><a href="?page=2">下一页</a> 共3页</td></tr>
<tr><td>广州</td><td> 7 </td></tr>
</table>
<table><tr><td>Other</td><td>x</td></tr><tr><td>y</td><td><a href="#top">上</a></td></tr></table>
<table><tfoot><tr><td colspan="2">foot</td></tr></tfoot><tbody><tr><td rowspan="2">a</td><td>b</td></tr>
<tr><td>c</td></tr></tbody><thead><tr><th colspan="2">head</th><th>h2</th></tr></thead></table>
</body></html>)";

void LiveDocumentTest::captureMatchesTheStaticDocument_data()
{
    QTest::addColumn<capture::CaptureSettings>("settings");
    using capture::KeywordMode;
    const auto with = [](auto change) {
        capture::CaptureSettings settings;
        change(settings);
        return settings;
    };
    QTest::newRow("every table") << capture::CaptureSettings();
    QTest::newRow("header, first row") << with([](auto &s) { s.includeHeader = true, s.keyword = "地区销量"; });
    QTest::newRow("links") << with([](auto &s) { s.includeHeader = s.includeLinks = true; });
    QTest::newRow("common text") << with([](auto &s) { s.keywordMode = KeywordMode::CommonText, s.keyword = "上海"; });
    QTest::newRow("position of the nested table") << with([](auto &s) {
        s.keywordMode = KeywordMode::Position, s.keyword = "2", s.includeHeader = true;
    });
    QTest::newRow("fields") << with([](auto &s) {
        s.includeHeader = true, s.fields = {{"城市", true}, {"", false}, {"链接", true}};
    });
    QTest::newRow("own pager text") << with([](auto &s) { s.includeLinks = true, s.nextPageText = "共3页"; });
}

void LiveDocumentTest::captureMatchesTheStaticDocument()
{
    QFETCH(capture::CaptureSettings, settings);
    const QString path = QStringLiteral("/capture.html");
    m_server.addPage(path, kCapturePage);
    QVERIFY(load(m_server.url(path)));
    const auto live = snapshot(SnapshotRequest::forCapture(settings));
    const auto page = capture::StaticDocument::parse(kCapturePage.toStdString(), str(m_server.url(path).toString()));

    capture::CaptureSession liveSession, staticSession;
    const auto fromLive = capture::CaptureTable(*live, settings, liveSession);
    const auto fromStatic = capture::CaptureTable(*page, settings, staticSession);
    QVERIFY(!fromLive.text.empty());
    QCOMPARE(fromLive.text, fromStatic.text);
    QCOMPARE(liveSession.recordCount, staticSession.recordCount);
}

// ---- Size

void LiveDocumentTest::largeTableSnapshotForACapture()
{
    constexpr int rows = 20000, columns = 10;
    QByteArray page = "<!DOCTYPE html><html><body><table><tr>";
    for (int c = 0; c < columns; ++c)
        page += "<th>col" + QByteArray::number(c) + "</th>";
    for (int r = 0; r < rows; ++r) {
        page += "</tr><tr>";
        for (int c = 0; c < columns; ++c)
            page += "<td>r" + QByteArray::number(r) + "c" + QByteArray::number(c) +
                    (c == 1 ? "<a href=\"/d?r=" + QByteArray::number(r) + "&amp;x=1\">数据</a>" : " 数据") + "</td>";
    }
    page += "</tr></table></body></html>";
    m_server.addPage(QStringLiteral("/large.html"), page);
    QVERIFY(load(m_server.url(QStringLiteral("/large.html"))));

    capture::CaptureSettings links;
    links.includeLinks = true;
    for (const capture::CaptureSettings &settings : {capture::CaptureSettings(), links}) {
        // Printed for the record, not checked: times depend on the machine.
        const SnapshotRequest request = SnapshotRequest::forCapture(settings);
        QElapsedTimer timer;
        timer.start();
        const auto answer = evaluate(browser::snapshotScript(request));
        const qint64 scriptMs = timer.restart();
        QVERIFY(answer);
        const auto doc = browser::parseSnapshot(answer->toString(), request);
        const qint64 parseMs = timer.restart();
        QVERIFY(doc);
        capture::CaptureSession session;
        const std::string text = capture::CaptureTable(**doc, settings, session).text;
        qInfo("%dx%d table%s: script %lld ms (%lld KB of JSON), parse %lld ms, capture %lld ms", rows, columns,
              settings.includeLinks ? ", links" : "", scriptMs, answer->toString().size() * 2 / 1024, parseMs,
              timer.elapsed());

        QCOMPARE(session.recordCount, rows);
        QString last;
        for (int c = 0; c < columns; ++c)
            last += c != 1                    ? QStringLiteral(",r19999c%1 数据").arg(c)
                    : settings.includeLinks ? u',' + m_server.url(QStringLiteral("/d?r=19999&x=1")).toString()
                                            : QStringLiteral(",r19999c1数据");
        QVERIFY(text.ends_with("\r\n" + str(last.mid(1)) + "\r\n"));
    }
}

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    LiveDocumentTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "live_document_test.moc"
