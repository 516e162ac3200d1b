// The live document: snapshots of pages shown in a real web view, read through the same document
// model as the static document of the same HTML.

#include <map>
#include <memory>
#include <optional>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "browser/page_snapshot.h"
#include "browser/web_engine_setup.h"
#include "capture/capture_table.h"
#include "capture/document_dump.h"
#include "capture/static_document.h"
#include "capture/text_rules.h"
#include "support/local_http_server.h"

using namespace tabvoro;
using browser::SnapshotRequest;
using capture::SnapshotDocument;

namespace {

// A page that keeps its console to itself.
class QuietPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &) override {}
};

std::string str(const QString &text) { return text.toStdString(); }

template <class T>
T value(const capture::Read<T> &read)
{
    if (!read)
        qFatal("unexpected failing read: %s", read.error().message.c_str());
    return *read;
}

// The message of a read that must fail.
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
    void cleanupTestCase();

    // The snapshot document as the engine reads it, filled by hand.
    void tableTextIsBuiltFromTheCells();
    void partialTableAnswersWhatItsRowsDecide();
    void cutCellHtmlGivesTheSameCellValue();
    void elementsAnswerFromHtmlOrFromThePagesAnswer();

    void partsNotAskedForFail();
    void firstRowsAnswerTheTableListing();
    void pagerNeedleIsAnsweredPerRow();
    void linkModeHtmlEndsAfterTheFirstAddress();
    void elementsAnswerTheNextPageStep();
    void textsUseCrLfAndTheBrowsersInnerText();
    void pageScriptsCannotBreakTheSnapshot();
    void framesOfTheSameOriginReadOthersFail();
    void captureReadsTheFrameItIsAskedFor();
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

    std::unique_ptr<QWebEngineView> m_view;
    QuietPage *m_page = nullptr;
    std::unique_ptr<test::LocalHttpServer> m_server;
    std::unique_ptr<test::LocalHttpServer> m_otherOrigin;
    int m_pages = 0;
};

void LiveDocumentTest::initTestCase()
{
    m_view = std::make_unique<QWebEngineView>();
    m_page = new QuietPage(m_view.get());
    m_view->setPage(m_page);
    m_view->resize(1024, 768);
    m_view->show();
    m_server = std::make_unique<test::LocalHttpServer>();
    m_otherOrigin = std::make_unique<test::LocalHttpServer>();
}

void LiveDocumentTest::cleanupTestCase()
{
    m_view.reset();
    m_server.reset();
    m_otherOrigin.reset();
}

bool LiveDocumentTest::load(const QUrl &url)
{
    QSignalSpy finished(m_page, &QWebEnginePage::loadFinished);
    m_page->load(url);
    return finished.wait(30000) && finished.first().first().toBool();
}

// What the window's WebBrowser::evaluate does: the script runs in the isolated world and the
// answer is waited for in a nested loop, with a time limit.
capture::Result<QVariant> LiveDocumentTest::evaluate(const QString &script)
{
    auto answer = std::make_shared<std::optional<QVariant>>();
    QEventLoop loop;
    QPointer<QEventLoop> guard(&loop);
    m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [answer, guard](const QVariant &result) {
        *answer = result;
        if (guard)
            guard->quit();
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
    m_server->addPage(path, html);
    if (!load(m_server->url(path)))
        qFatal("page %s did not load", qPrintable(path));
    return snapshot(request);
}

// ---- The snapshot document

void LiveDocumentTest::tableTextIsBuiltFromTheCells()
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
    const struct {
        const char *prefix;
        bool starts;
    } cases[] = {{"", true}, {"ab", true}, {"ab\r\n中", true}, {"ab\r\n中\r\n", true},
                 {"ab\r\n中\r\nx", false}, {"a中", false}, {"abc", false}, {"b", false}};
    for (const auto &c : cases)
        QVERIFY2(value(table.textStartsWith(c.prefix)) == c.starts, c.prefix);

    table.setText("given");
    QCOMPARE(value(table.text()), "given");
    QVERIFY(value(table.textStartsWith("giv")));

    const capture::SnapshotTable empty(1);
    QCOMPARE(value(empty.text()), "");
    QCOMPARE(value(empty.rowCount()), 0u);
}

void LiveDocumentTest::partialTableAnswersWhatItsRowsDecide()
{
    capture::SnapshotTable table(2);
    table.setRowCount(100000);
    table.addRow();
    table.addCell("Name");
    table.addCell("Price", 1, 3);
    QVERIFY(value(table.textStartsWith("NamePr")));
    QVERIFY(!value(table.textStartsWith("NameX")));
    // More rows follow, so a line break does too; what comes after it was not taken.
    QVERIFY(value(table.textStartsWith("NamePrice\r\n")));
    QVERIFY(!value(table.textStartsWith("NamePrice\n")));
    QVERIFY(failureOf(table.textStartsWith("NamePrice\r\nx")).contains(QLatin1String("beyond its first 1 rows")));
    QCOMPARE(value(table.cellRowSpan(0, 1)), 3);
    QVERIFY(failureOf(table.cellText(1, 0)).contains(QLatin1String("cells of row 1 of table 2")));
    QCOMPARE(failureOf(table.cellCount(100000)), QStringLiteral("no row 100000 in table 2"));
    QCOMPARE(failureOf(table.cellText(0, 2)), QStringLiteral("no cell 2 in row 0 of table 2"));
    QVERIFY(failureOf(table.textSize()).contains(QLatin1String("text size of table 2")));
    table.setTextMeasure(1234, 1000);
    QCOMPARE(value(table.textSize()), 1234u);
    QCOMPARE(value(table.textLength()), 1000u);

    // A table as big as pages get is packed: every row stays reachable.
    capture::SnapshotTable big(0);
    big.reserve(100000, 1000000, 8000000);
    for (int r = 0; r < 100000; ++r) {
        big.addRow();
        for (int c = 0; c < 10; ++c)
            big.addCell(std::to_string(r) + ":" + std::to_string(c));
    }
    QCOMPARE(value(big.cellText(99999, 9)), "99999:9");
    QCOMPARE(value(big.cellCount(50000)), 10u);
    QVERIFY(value(big.textStartsWith("0:00:10:2")));
}

void LiveDocumentTest::cutCellHtmlGivesTheSameCellValue()
{
    // Whatever a cell holds, the cut HTML must give the capture's link mode what the whole
    // HTML gives it.
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
    const std::string base = "http://shop.example/list/page.htm";
    for (std::size_t r = 0; r < std::size(cells); ++r)
        QCOMPARE(capture::cellValue(cut, r, 0, true, base), capture::cellValue(whole, r, 0, true, base));
}

void LiveDocumentTest::elementsAnswerFromHtmlOrFromThePagesAnswer()
{
    SnapshotDocument doc;
    doc.takeElements();
    doc.addElement("A", "", "", "");
    doc.addElement("BUTTON", "submit", "go", "b");
    doc.addElement("TD", "", "", "");
    doc.setElementHtml(1, "下一页");
    doc.setElementNeedle("下一页");
    doc.setElementContains(0, true);
    doc.setElementContains(1, true);

    const auto element = [&](std::size_t i) { return value(doc.snapshotElement(i)); };
    QVERIFY(value(element(0)->innerHtmlContains("下一页")));
    QVERIFY(!element(0)->innerHtmlContains("next"));  // only the HTML could answer another needle
    QVERIFY(!value(element(1)->innerHtmlContains("next")));
    QCOMPARE(value(element(1)->innerHtml()), "下一页");
    QCOMPARE(value(element(1)->value()), "go");
    QVERIFY(failureOf(element(2)->innerHtml()).contains(QLatin1String("element 2 (TD)")));
    QCOMPARE(failureOf(doc.element(3)), QStringLiteral("no element 3"));

    doc.addFrame("top").setBodyText("menu");
    doc.addFailingFrame("ad", "it is from another origin");
    QCOMPARE(value(value(doc.frame(0)).document->bodyText()), "menu");
    QCOMPARE(failureOf(doc.frame(1)), QStringLiteral("frame 1 cannot be read: it is from another origin"));
}

// ---- Pages

const QByteArray kListPage = R"(<!DOCTYPE html><html><head><title>list</title></head><body>
<p>Intro</p>
<table id="list">
<thead><tr><th>Name</th><th>Link</th></tr></thead>
<tr><td>one</td><td><a href="/item?id=1&amp;k=2">first</a> and <a href="/second">second</a></td></tr>
<tr><td>two<br>lines</td><td><a href="http://other.example/x">abs</a></td></tr>
<tr class="pager"><td colspan="2"><a href="?p=2">下一页</a> 共2页</td></tr>
</table>
<form name="f"><input name="q" value="v1"><select name="s"><option value="o1">O</option></select>
<button type="button">下一页</button><img src="n.png" alt="下一页"><a href="/x">其他</a></form>
</body></html>)";

// ---- Parts of a snapshot

void LiveDocumentTest::partsNotAskedForFail()
{
    SnapshotRequest cells;
    cells.tables = SnapshotRequest::Tables::Cells;
    const auto doc = snapshotOf(kListPage, cells);

    QCOMPARE(value(doc->tableCount()), 1u);
    const capture::Table &table = *value(doc->table(0));
    QCOMPARE(value(table.rowCount()), 4u);
    QCOMPARE(value(table.cellText(1, 0)), "one");
    // The base address always comes with the snapshot: links are resolved against it.
    QCOMPARE(value(doc->baseUrl()), str(m_server->url(QStringLiteral("/page%1.html").arg(m_pages)).toString()));

    const struct {
        const char *part;
        QString message;
    } missing[] = {
        {"body text", failureOf(doc->bodyText())},
        {"element list", failureOf(doc->elementCount())},
        {"links", failureOf(doc->links())},
        {"frame list", failureOf(doc->frame(0))},
        {"row HTML of table 0", failureOf(table.rowInnerHtml(0))},
        {"row HTML of table 0", failureOf(table.rowHtmlContains(3, "下一页"))},
        {"cell HTML of table 0", failureOf(table.cellInnerHtml(1, 1))},
    };
    for (const auto &m : missing) {
        QVERIFY2(m.message.contains(QLatin1String(m.part)), qPrintable(m.message));
        QVERIFY2(m.message.contains(QLatin1String("not asked for")), qPrintable(m.message));
    }
    // Beyond the table's end is no row at all, which is not the same failure.
    QCOMPARE(failureOf(table.cellText(4, 0)), QStringLiteral("no row 4 in table 0"));
    QCOMPARE(failureOf(table.cellText(1, 2)), QStringLiteral("no cell 2 in row 1 of table 0"));
    QCOMPARE(failureOf(doc->table(1)), QStringLiteral("no table 1"));

    SnapshotRequest count;
    count.tables = SnapshotRequest::Tables::Count;
    const auto counted = snapshot(count);
    QCOMPARE(value(counted->tableCount()), 1u);
    QVERIFY(failureOf(counted->table(0)).contains(QLatin1String("contents of table 0")));

    SnapshotRequest nothing;
    const auto bare = snapshot(nothing);
    QVERIFY(failureOf(bare->tableCount()).contains(QLatin1String("tables")));
}

void LiveDocumentTest::firstRowsAnswerTheTableListing()
{
    m_server->addPage(QStringLiteral("/listing.html"), kListPage);
    QVERIFY(load(m_server->url(QStringLiteral("/listing.html"))));
    SnapshotRequest everything = SnapshotRequest::everything();
    const auto full = snapshot(everything);
    const auto listing = snapshot(SnapshotRequest::forTableListing({}));

    const capture::SnapshotTable &whole = *value(full->snapshotTable(0));
    const capture::SnapshotTable &first = *value(listing->snapshotTable(0));
    QCOMPARE(first.rowsTaken(), 1u);
    QCOMPARE(value(first.rowCount()), value(whole.rowCount()));
    QCOMPARE(value(first.cellCount(0)), 2u);
    QCOMPARE(value(first.cellText(0, 1)), "Link");
    QCOMPARE(value(first.cellColSpan(0, 0)), 1);
    // The size measured in the page is that of the text built from every row.
    const std::string text = value(whole.text());
    QCOMPARE(value(first.textSize()), text.size());
    QCOMPARE(value(first.textLength()), capture::utf8Length(text));
    QVERIFY(value(first.textStartsWith("NameLi")));
    QVERIFY(!value(first.textStartsWith("NameLo")));
    // Past the first row the answer needs rows the listing did not take.
    QVERIFY(failureOf(first.textStartsWith("NameLink\r\none")).contains(QLatin1String("beyond its first 1 rows")));
    QVERIFY(failureOf(first.text()).contains(QLatin1String("first 1 rows only")));
    QVERIFY(failureOf(first.cellText(1, 0)).contains(QLatin1String("cells of row 1")));
}

void LiveDocumentTest::pagerNeedleIsAnsweredPerRow()
{
    SnapshotRequest request;
    request.tables = SnapshotRequest::Tables::Cells;
    request.rowNeedle = "下一页";
    const auto doc = snapshotOf(kListPage, request);
    const capture::Table &table = *value(doc->table(0));
    QList<bool> answers;
    for (std::size_t r = 0; r < 4; ++r)
        answers.append(value(table.rowHtmlContains(r, "下一页")));
    QCOMPARE(answers, (QList<bool>{false, false, false, true}));
    // Another needle would need the rows' HTML, which was not shipped.
    QVERIFY(failureOf(table.rowHtmlContains(3, "pager")).contains(QLatin1String("not \"pager\"")));
}

void LiveDocumentTest::linkModeHtmlEndsAfterTheFirstAddress()
{
    SnapshotRequest cut;
    cut.tables = SnapshotRequest::Tables::Cells;
    cut.cellHtml = capture::CellHtmlForm::ThroughFirstHref;
    const auto doc = snapshotOf(kListPage, cut);
    SnapshotRequest whole = cut;
    whole.cellHtml = capture::CellHtmlForm::Whole;
    const auto full = snapshot(whole);

    const capture::Table &table = *value(doc->table(0));
    const capture::Table &fullTable = *value(full->table(0));
    // "&" in an address comes back as the browser serialises it.
    QCOMPARE(value(table.cellInnerHtml(1, 1)), R"(<a href="/item?id=1&amp;k=2")");
    QCOMPARE(value(fullTable.cellInnerHtml(1, 1)),
             R"(<a href="/item?id=1&amp;k=2">first</a> and <a href="/second">second</a>)");
    QCOMPARE(value(table.cellInnerHtml(1, 0)), "");
    const std::string base = value(doc->baseUrl());
    for (std::size_t r = 0; r < 4; ++r)
        for (std::size_t c = 0; c < value(table.cellCount(r)); ++c) {
            QCOMPARE(value(table.cellInnerHtml(r, c)), std::string(capture::throughFirstHref(value(fullTable.cellInnerHtml(r, c)))));
            QCOMPARE(capture::cellValue(table, r, c, true, base), capture::cellValue(fullTable, r, c, true, base));
        }
    QCOMPARE(capture::cellValue(table, 1, 1, true, base), str(m_server->url(QStringLiteral("/item?id=1&k=2")).toString()));
}

void LiveDocumentTest::elementsAnswerTheNextPageStep()
{
    const auto doc = snapshotOf(kListPage, SnapshotRequest::forNextPage("下一页"));
    std::map<std::string, std::size_t> firstOfTag;
    for (std::size_t i = value(doc->elementCount()); i-- > 0;)
        firstOfTag[value(value(doc->element(i))->tagName())] = i;
    QCOMPARE(firstOfTag["HTML"], 0u);

    const auto element = [&](const char *tag) { return value(doc->snapshotElement(firstOfTag.at(tag))); };
    QCOMPARE(value(element("INPUT")->name()), "q");
    QCOMPARE(value(element("INPUT")->value()), "v1");
    QCOMPARE(value(element("INPUT")->type()), "text");
    QCOMPARE(value(element("SELECT")->type()), "select-one");
    QCOMPARE(value(element("SELECT")->value()), "o1");
    QCOMPARE(value(element("FORM")->name()), "f");
    QCOMPARE(value(element("TD")->type()), "");

    // Which elements hold the needle: the pager link and the button; an image's alt is an
    // attribute of its own, not inner HTML.
    std::map<std::string, int> holding;
    for (std::size_t i = 0; i < value(doc->elementCount()); ++i) {
        const capture::SnapshotElement &e = *value(doc->snapshotElement(i));
        const std::string tag = value(e.tagName());
        if (tag == "A" || tag == "IMG" || tag == "BUTTON")
            holding[tag] += value(e.innerHtmlContains("下一页")) ? 1 : 0;
    }
    QCOMPARE(holding, (std::map<std::string, int>{{"A", 1}, {"BUTTON", 1}, {"IMG", 0}}));
    QVERIFY(failureOf(element("TD")->innerHtmlContains("下一页")).contains(QLatin1String("element")));
    QVERIFY(failureOf(element("A")->innerHtml()).contains(QLatin1String("only whether it contains")));

    const auto links = value(doc->links());
    QCOMPARE(links.size(), 5u);
    QCOMPARE(links[0], str(m_server->url(QStringLiteral("/item?id=1&k=2")).toString()));
    QCOMPARE(links[2], "http://other.example/x");

    SnapshotRequest withHtml;
    withHtml.elements = true;
    withHtml.elementHtml = true;
    const auto html = snapshot(withHtml);
    QCOMPARE(value(value(html->element(firstOfTag["BUTTON"]))->innerHtml()), "下一页");
    QVERIFY(failureOf(value(html->element(firstOfTag["TD"]))->innerHtml()).contains(QLatin1String("(TD)")));
}

void LiveDocumentTest::textsUseCrLfAndTheBrowsersInnerText()
{
    const QByteArray page = R"(<!DOCTYPE html><html><body><div>top</div><pre>a
b</pre>
<table><tr><td>two<br>lines</td><td><p>para</p><p>next</p></td><td>  spaced   out  </td>
<td style="display:none">hid<br>den</td><td>&nbsp;x&amp;y</td></tr></table></body></html>)";
    SnapshotRequest request;
    request.bodyText = true;
    request.tables = SnapshotRequest::Tables::Cells;
    const auto doc = snapshotOf(page, request);
    const capture::Table &table = *value(doc->table(0));
    QCOMPARE(value(table.cellText(0, 0)), "two\r\nlines");
    QCOMPARE(value(table.cellText(0, 1)), "para\r\n\r\nnext");
    QCOMPARE(value(table.cellText(0, 2)), "spaced out");
    QCOMPARE(value(table.cellText(0, 3)), "hidden");  // display:none reads as textContent
    QCOMPARE(value(table.cellText(0, 4)), "\u00a0x&y");
    const std::string body = value(doc->bodyText());
    QVERIFY2(body.starts_with("top\r\na\r\nb\r\n"), body.c_str());
    QVERIFY(body.find('\n') == body.find("\r\n") + 1);
}

void LiveDocumentTest::pageScriptsCannotBreakTheSnapshot()
{
    const QByteArray page = R"(<!DOCTYPE html><html><body><table><tr><td>kept</td></tr></table><script>
JSON.stringify = function () { return '"broken"'; };
Array.prototype.map = function () { return []; };
Array.from = function () { return []; };
Object.defineProperty(HTMLElement.prototype, 'innerText', {get() { return 'forged'; }});
</script></body></html>)";
    SnapshotRequest request;
    request.tables = SnapshotRequest::Tables::Cells;
    request.links = true;
    const auto doc = snapshotOf(page, request);
    QCOMPARE(value(value(doc->table(0))->cellText(0, 0)), "kept");
}

// ---- Frames

void LiveDocumentTest::framesOfTheSameOriginReadOthersFail()
{
    const QByteArray inner = R"(<!DOCTYPE html><html><body><table><tr><td>inner</td></tr></table></body></html>)";
    m_server->addPage(QStringLiteral("/inner.html"), inner);
    m_otherOrigin->addPage(QStringLiteral("/inner.html"), inner);
    const QByteArray page = R"(<!DOCTYPE html><html><body><iframe name="same" src="/inner.html"></iframe>)"
                            R"(<iframe name="other" src=")" + m_otherOrigin->url(QStringLiteral("/inner.html")).toEncoded() +
                            R"("></iframe><iframe name="blank"></iframe></body></html>)";
    SnapshotRequest request;
    request.tables = SnapshotRequest::Tables::Cells;
    request.frames = SnapshotRequest::Frames::Contents;
    const auto doc = snapshotOf(page, request);

    QCOMPARE(value(doc->frameCount()), 3u);
    const capture::Frame same = value(doc->frame(0));
    QCOMPARE(same.name, "same");
    QCOMPARE(value(value(same.document->table(0))->text()), "inner");
    QCOMPARE(value(same.document->baseUrl()), str(m_server->url(QStringLiteral("/inner.html")).toString()));
    QCOMPARE(failureOf(doc->frame(1)), QStringLiteral("frame 1 cannot be read: it is from another origin"));
    QCOMPARE(value(value(doc->frame(2)).document->tableCount()), 0u);
    QCOMPARE(failureOf(doc->frame(3)), QStringLiteral("no frame 3"));

    // Names only: the frames' documents hold nothing.
    request.frames = SnapshotRequest::Frames::Names;
    const auto names = snapshot(request);
    QCOMPARE(value(names->frame(0)).name, "same");
    QVERIFY(failureOf(value(names->frame(0)).document->tableCount()).contains(QLatin1String("not asked for")));
    QVERIFY(!names->frame(1));
}

void LiveDocumentTest::captureReadsTheFrameItIsAskedFor()
{
    m_server->addPage(QStringLiteral("/frame-a.html"), R"(<table><tr><td>A</td></tr><tr><td>a1</td></tr></table>)");
    m_server->addPage(QStringLiteral("/frame-b.html"), R"(<table><tr><td>B</td></tr><tr><td>b1</td></tr></table>)");
    const QByteArray page = R"(<!DOCTYPE html><html><frameset cols="50%,50%"><frame name="a" src="/frame-a.html">)"
                            R"(<frame name="b" src="/frame-b.html"></frameset></html>)";
    capture::CaptureSettings settings;
    settings.inFrame = true;
    settings.frameText = "1";
    settings.keyword = "B";
    const auto doc = snapshotOf(page, SnapshotRequest::forCapture(settings));
    // The page itself was not read, frame 0 only listed.
    QVERIFY(!doc->tableCount());
    QVERIFY(!value(doc->frame(0)).document->tableCount());
    capture::CaptureSession session;
    QCOMPARE(capture::CaptureTable(*doc, settings, session).text, "b1\r\n");

    SnapshotRequest body;
    body.bodyText = true;
    QCOMPARE(value(snapshot(body)->bodyText()), "");  // a frameset has no body
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
    {"merged-cells.html", R"(    cell 0 colspan 1 rowspan 1 text "South")",
     R"(    cell 0 colspan 1 rowspan 0 text "South")",
     "rowspan=\"0\" spans to the end of the row group: the DOM's rowSpan is 0 there"},
    {"whitespace.html",
     R"(body "leading and trailing blanks\r\nspread over lines\tbold italic end\t\u00a0kept\u00a0\u00a0spaces\ttab inside")",
     R"(body "leading and trailing blanks\r\nspread over lines\tbold italic end\t\u00a0kept\u00a0\u00a0spaces\ttab inside\r\nnot text")",
     "the page's document.write runs in the browser; the static document runs no script"},
};

void LiveDocumentTest::fixturesReadAsTheStaticDocumentExpects()
{
    QFETCH(QString, page);
    m_server->serveFolder(QStringLiteral(TABVORO_FIXTURES));
    QVERIFY(load(m_server->url(QStringLiteral("/document/") + page)));
    QString dump = QString::fromStdString(capture::dumpDocument(*snapshot(SnapshotRequest::everything())));
    // The expected readings were made with the pages at this address.
    dump.replace(m_server->url(QStringLiteral("/")).toString(), QStringLiteral("http://fixtures.test/"));

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
    const auto settings = [](auto change) {
        capture::CaptureSettings s;
        change(s);
        return s;
    };
    QTest::newRow("every table") << capture::CaptureSettings{};
    QTest::newRow("header, first row") << settings([](auto &s) {
        s.includeHeader = true;
        s.keyword = "地区销量";
    });
    QTest::newRow("links") << settings([](auto &s) {
        s.includeHeader = true;
        s.includeLinks = true;
    });
    QTest::newRow("common text") << settings([](auto &s) {
        s.keywordMode = KeywordMode::CommonText;
        s.keyword = "上海";
    });
    QTest::newRow("position of the nested table") << settings([](auto &s) {
        s.keywordMode = KeywordMode::Position;
        s.keyword = "2";
        s.includeHeader = true;
    });
    QTest::newRow("fields") << settings([](auto &s) {
        s.includeHeader = true;
        s.fields = {{"城市", true}, {"", false}, {"链接", true}};
    });
    QTest::newRow("own pager text") << settings([](auto &s) {
        s.nextPageText = "共3页";
        s.includeLinks = true;
    });
}

void LiveDocumentTest::captureMatchesTheStaticDocument()
{
    QFETCH(capture::CaptureSettings, settings);
    const QString path = QStringLiteral("/capture.html");
    m_server->addPage(path, kCapturePage);
    QVERIFY(load(m_server->url(path)));
    const auto live = snapshot(SnapshotRequest::forCapture(settings));
    const auto page = capture::StaticDocument::parse(kCapturePage.toStdString(), str(m_server->url(path).toString()));

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
    page += "</tr>";
    for (int r = 0; r < rows; ++r) {
        page += "<tr>";
        for (int c = 0; c < columns; ++c)
            page += "<td>r" + QByteArray::number(r) + "c" + QByteArray::number(c) +
                    (c == 1 ? "<a href=\"/d?r=" + QByteArray::number(r) + "&amp;x=1\">数据</a>" : " 数据") + "</td>";
        page += "</tr>";
    }
    page += "</table></body></html>";
    m_server->addPage(QStringLiteral("/large.html"), page);
    QVERIFY(load(m_server->url(QStringLiteral("/large.html"))));

    // Times are printed for the record, not checked: they depend on the machine.
    capture::CaptureSettings links;
    links.includeLinks = true;
    const struct {
        const char *label;
        SnapshotRequest request;
        capture::CaptureSettings settings;
    } takes[] = {
        {"capture", SnapshotRequest::forCapture({}), {}},
        {"capture, links", SnapshotRequest::forCapture(links), links},
        {"table listing", SnapshotRequest::forTableListing({}), {}},
    };
    for (const auto &take : takes) {
        QElapsedTimer timer;
        timer.start();
        const auto answer = evaluate(browser::snapshotScript(take.request));
        const qint64 scriptMs = timer.restart();
        QVERIFY(answer);
        const auto doc = browser::parseSnapshot(answer->toString(), take.request);
        const qint64 parseMs = timer.restart();
        QVERIFY(doc);
        capture::CaptureSession session;
        const auto outcome = capture::CaptureTable(**doc, take.settings, session);
        qInfo("%dx%d table, %s: script %lld ms (%lld KB of JSON), parse %lld ms, capture %lld ms", rows, columns,
              take.label, scriptMs, static_cast<long long>(answer->toString().size() * 2 / 1024), parseMs,
              timer.elapsed());

        const capture::Table &table = *value((*doc)->table(0));
        QCOMPARE(value(table.rowCount()), std::size_t(rows + 1));
        if (take.request.tables == SnapshotRequest::Tables::FirstRows)
            continue;
        QCOMPARE(value(table.cellText(rows, columns - 1)), "r19999c9 数据");
        QCOMPARE(session.recordCount, rows);
        QString lastLine;
        for (int c = 0; c < columns; ++c)
            lastLine += c != 1                     ? QStringLiteral("r19999c%1 数据,").arg(c)
                        : take.settings.includeLinks ? m_server->url(QStringLiteral("/d?r=19999&x=1")).toString() + u','
                                                     : QStringLiteral("r19999c1数据,");
        lastLine.chop(1);
        QVERIFY(outcome.text.ends_with("\r\n" + str(lastLine) + "\r\n"));
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
