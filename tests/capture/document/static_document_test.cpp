#include "capture/document/saved_page.h"
#include "capture/document/static_document.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include <map>
#include <vector>

#include "test_support.h"

namespace tabvoro::capture {
namespace {

const std::string kBase = "http://www.shop.example/list/page.htm";

std::unique_ptr<StaticDocument> page(const std::string &html, FrameLoader loader = {})
{
    return StaticDocument::parse(html, kBase, std::move(loader));
}

const Table &tableOf(const Document &doc, std::size_t index)
{
    auto table = doc.table(index);
    if (!table)
        throw std::runtime_error(table.error().message);
    return **table;
}

std::vector<std::string> rowTexts(const Table &table)
{
    std::vector<std::string> texts;
    for (std::size_t r = 0; r < table.rowCount().value(); ++r) {
        std::string text;
        for (std::size_t c = 0; c < table.cellCount(r).value(); ++c)
            text += table.cellText(r, c).value();
        texts.push_back(text);
    }
    return texts;
}

using Rows = std::vector<std::string>;

TEST(StaticDocumentRows, FollowTheRowsCollection)
{
    // thead rows first and tfoot rows last wherever they stand; a tr written straight into the
    // table gets an implied tbody; rows of a nested table stay with that table.
    auto doc = page("<table>"
                    "<tfoot><tr><td>foot</td></tr></tfoot>"
                    "<tbody><tr><td>b1</td></tr></tbody>"
                    "<tr><td>direct<table><tr><td>inner1</td></tr><tr><td>inner2</td></tr></table></td></tr>"
                    "<thead><tr><th>head</th></tr></thead>"
                    "<tbody><tr><td>b2</td></tr></tbody>"
                    "<caption>cap</caption>"
                    "</table>");
    ASSERT_EQ(doc->tableCount(), 2u);
    const Table &outer = tableOf(*doc, 0);
    EXPECT_EQ(rowTexts(outer), (Rows{"head", "b1", "direct\r\ninner1\r\ninner2", "b2", "foot"}));
    EXPECT_EQ(outer.text(), "head\r\nb1\r\ndirect\r\ninner1\r\ninner2\r\nb2\r\nfoot");
    EXPECT_EQ(rowTexts(tableOf(*doc, 1)), (Rows{"inner1", "inner2"}));
    EXPECT_EQ(outer.textStartsWith("head\r\nb"), true);
    EXPECT_EQ(outer.textStartsWith("b1"), false);
}

TEST(StaticDocumentRows, MalformedTableParsesAsInABrowser)
{
    // Unclosed cells and rows, stray text and a div inside the table: the text and the div are
    // moved in front of the table, the cells close where the next one opens.
    auto doc = page("<p>before<table>stray<div>moved</div><tr><td>a<td>b<tr><td colspan=2>c</table>after");
    ASSERT_EQ(doc->tableCount(), 1u);
    const Table &table = tableOf(*doc, 0);
    EXPECT_EQ(rowTexts(table), (Rows{"ab", "c"}));
    EXPECT_EQ(table.rowInnerHtml(0), "<td>a</td><td>b</td>");
    EXPECT_EQ(table.cellColSpan(1, 0), 2);
    EXPECT_EQ(doc->bodyText(), "beforestray\r\nmoved\r\na\tb\r\nc\r\nafter");
}

TEST(StaticDocumentRows, ReadsOutsideTheTableFail)
{
    auto doc = page("<table><tr><td>a</td></tr></table>");
    const Table &table = tableOf(*doc, 0);
    EXPECT_FALSE(table.cellText(0, 1));
    EXPECT_FALSE(table.cellColSpan(1, 0));
    EXPECT_FALSE(table.rowInnerHtml(1));
    EXPECT_FALSE(doc->table(1));
    EXPECT_EQ(doc->element(99).error().message, "no element 99 (there are 7)");
}

TEST(StaticDocumentCells, SpansAreReadAsABrowserReadsThem)
{
    struct Case {
        const char *attribute;  // nullptr: no attribute
        int colSpan;
        int rowSpan;
    };
    const Case cases[] = {
        {nullptr, 1, 1}, {"3", 3, 3},      {"3px", 3, 3},   {" \t2", 2, 2},     {"+4", 4, 4},
        {"0", 1, 1},     {"-1", 1, 1},     {"abc", 1, 1},   {"", 1, 1},         {"1.9", 1, 1},
        {"2000", 1000, 2000}, {"70000", 1000, 65534}, {"99999999999999999999", 1000, 65534},
    };
    for (const auto &c : cases) {
        const std::string attr = c.attribute ? std::string("=\"") + c.attribute + "\"" : "";
        auto doc = page("<table><tr><td colspan" + attr + " rowspan" + attr + ">x</td></tr></table>");
        const Table &table = tableOf(*doc, 0);
        const std::string label = c.attribute ? c.attribute : "(absent)";
        EXPECT_EQ(table.cellColSpan(0, 0), c.colSpan) << label;
        EXPECT_EQ(table.cellRowSpan(0, 0), c.rowSpan) << label;
    }
}

TEST(StaticDocumentCells, TextFollowsInnerText)
{
    const std::pair<std::string, std::string> cases[] = {
        {"  a \n\t b  ", "a b"},
        {"<b>a</b> <i> b</i>", "a b"},
        {" a <br> b ", "a\r\nb"},
        {"a<br><br>b", "a\r\n\r\nb"},
        {"<br>a", "\r\na"},
        {"<div>a</div> <div>b</div>", "a\r\nb"},
        {"x<div></div>y", "x\r\ny"},
        {"<p>a</p><p>b</p>", "a\r\n\r\nb"},
        {"<ul><li>one</li><li>two</li></ul>", "one\r\ntwo"},
        {"<h3>Title</h3>text", "Title\r\ntext"},
        {"a<script>var x = 1;</script><style>p{}</style>b", "ab"},
        {"<span hidden>no</span><span style=\"color:red; DISPLAY : none\">no</span>yes", "yes"},
        {"<pre>\n a  b\n\tc</pre>", " a  b\r\n\tc"},
        // A text area shows its text in a control of its own, not as text of the page.
        {"<textarea>\n x  y\nz</textarea>", ""},
        {"&nbsp;a&nbsp; b", "\u00A0a\u00A0 b"},
        {"<select><option> one </option><optgroup><option selected>two</option></optgroup></select>",
         "one\r\ntwo"},
        {"<input value=v><img alt=pic>", ""},
        {"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", "a\tb\r\nc"},
        {"中文 <b>文字</b>", "中文 文字"},
    };
    for (const auto &[cell, expected] : cases) {
        auto doc = page("<table><tr><td>" + cell + "</td></tr></table>");
        EXPECT_EQ(tableOf(*doc, 0).cellText(0, 0), expected) << cell;
    }
}

// Each reading as the browser view gives it (Chromium's innerText of the same cell).
TEST(StaticDocumentCells, ControlsAreBoxesOnTheLine)
{
    const std::pair<std::string, std::string> cases[] = {
        {"x <input> y", "x  y"},
        {"x<input>y", "xy"},
        {" <input> y ", " y"},
        {"x <input type=\"hidden\"> y", "x y"},
        {"x <input type=checkbox> <input type=radio> y", "x   y"},
        {"x <textarea> t  t </textarea> y", "x  y"},
        {"x <img src=a.png> y", "x  y"},
        {"x <button> b  c </button> y", "x b c y"},
        {"x<button>b</button>y", "xby"},
        {"<div>a</div><input><div>b</div>", "a\r\nb"},
        {"<div>a</div><input> z<div>b</div>", "a\r\n z\r\nb"},
        // A select keeps the blanks around it and lists its options' own texts, labels aside.
        {"x <select><option>A</option><option> B  b </option><option label=L>C</option></select> y",
         "x \r\nA\r\nB b\r\nC\r\n y"},
        {"x <select><optgroup label=G><option>A</option></optgroup><option></option></select>", "x \r\nA"},
        {"x <select><option>A<script>1</script>B</option></select> y", "x \r\nAB\r\n y"},
        {"a<select style=\"display:none\"><option>Q</option></select>b", "ab"},
    };
    for (const auto &[cell, expected] : cases) {
        auto doc = page("<table><tr><td>" + cell + "</td></tr></table>");
        EXPECT_EQ(tableOf(*doc, 0).cellText(0, 0), expected) << cell;
    }
}

TEST(StaticDocumentCells, InlineStyleDecidesBlockOrInline)
{
    const std::pair<std::string, std::string> cases[] = {
        {"<ul><li style=\"display:inline\">Medicine portal</li> <li style=\"display:inline\">Viruses portal</li></ul>",
         "Medicine portal Viruses portal"},
        {"<ul><li style=\"display:inline\">A</li><li style=\"display:inline\">B</li></ul>", "AB"},
        {"a<span style=\"display:block\">b</span>c", "a\r\nb\r\nc"},
        {"a<div style=\"DISPLAY : Inline !important\">b</div>c", "abc"},
        {"a <div style=\"display: inline-block\"> b </div> c", "a b c"},
        {"a<span style=\"display:inline-flex\"> b </span>c", "abc"},
        {"a<span style=\"display:inline-block\"><div>b</div><div>c</div></span>d", "a\r\nb\r\nc\r\nd"},
        {"a<span style=\"color:red;display:flex\">b</span>c", "a\r\nb\r\nc"},
        {"a<span style=\"display:list-item\">b</span>c", "a\r\nb\r\nc"},
        {"a<div style=\"display:contents\">b</div>c", "abc"},
        // The last declaration counts; one with a value no browser knows does not.
        {"a<div style=\"display:inline;display:block\">b</div>c", "a\r\nb\r\nc"},
        {"a<div style=\"display:none;display:inline\">b</div>c", "abc"},
        {"a<div style=\"display: xyz\">b</div>c", "a\r\nb\r\nc"},
        {"a<span hidden style=\"display:inline\">b</span>c", "abc"},
        // A paragraph keeps its blank lines whatever its display.
        {"a<p style=\"display:inline\">b</p>c", "a\r\n\r\nb\r\n\r\nc"},
    };
    for (const auto &[cell, expected] : cases) {
        auto doc = page("<table><tr><td>" + cell + "</td></tr></table>");
        EXPECT_EQ(tableOf(*doc, 0).cellText(0, 0), expected) << cell;
    }
}

TEST(StaticDocumentHtml, SerialisedAsABrowserDoes)
{
    const std::pair<std::string, std::string> cases[] = {
        {"<A HREF='a.htm?x=1&amp;y=2' Title=\"say &quot;hi&quot;\" data-x='&nbsp;<>'>Go</A>",
         "<a href=\"a.htm?x=1&amp;y=2\" title=\"say &quot;hi&quot;\" data-x=\"&nbsp;<>\">Go</a>"},
        {"1 &lt; 2 &amp;&amp; 3 &gt; 2&nbsp;\"ok\"", "1 &lt; 2 &amp;&amp; 3 &gt; 2&nbsp;\"ok\""},
        {"<BR><img src=x.png><INPUT name=q disabled>", "<br><img src=\"x.png\"><input name=\"q\" disabled=\"\">"},
        {"<script>if (a < b && c) x = '&amp;';</script><!-- note -->",
         "<script>if (a < b && c) x = '&amp;';</script><!-- note -->"},
        {"<noscript><b>no & script</b></noscript>", "<noscript><b>no & script</b></noscript>"},
        {"<My-Widget Size=2>w</My-Widget><p>open", "<my-widget size=\"2\">w</my-widget><p>open</p>"},
        {"<svg viewBox='0 0 1 1'><foreignObject><b>f</b></foreignObject></svg>",
         "<svg viewBox=\"0 0 1 1\"><foreignObject><b>f</b></foreignObject></svg>"},
    };
    for (const auto &[cell, expected] : cases) {
        auto doc = page("<table><tr><td>" + cell + "</td></tr></table>");
        EXPECT_EQ(tableOf(*doc, 0).cellInnerHtml(0, 0), expected) << cell;
    }
}

TEST(StaticDocumentElements, AllListsEveryElementInDocumentOrder)
{
    auto doc = page("<title>t</title><form name=f>"
                    "<input name=q value=\"a b\"><input type=CheckBox name=c><input type=bogus>"
                    "<button name=b value=1>Go</button><button type=RESET>r</button>"
                    "<select name=s1><option value=1>one</option><option selected>  two  words </option></select>"
                    "<select name=s2><option disabled>x</option><option>y</option></select>"
                    "<select name=s3 multiple><option>m1</option><option selected>m2</option><option selected>m3</option></select>"
                    "<textarea name=t>line1\nline2</textarea>"
                    "<template><input name=hidden-in-template></template><noscript><input name=inert></noscript>"
                    "</form>");
    struct Expected {
        std::string tag, type, value, name;
    };
    const std::vector<Expected> expected = {
        {"HTML", "", "", ""},
        {"HEAD", "", "", ""},
        {"TITLE", "", "", ""},
        {"BODY", "", "", ""},
        {"FORM", "", "", "f"},
        {"INPUT", "text", "a b", "q"},
        {"INPUT", "checkbox", "on", "c"},
        {"INPUT", "text", "", ""},
        {"BUTTON", "submit", "1", "b"},
        {"BUTTON", "reset", "", ""},
        {"SELECT", "select-one", "two words", "s1"},
        {"OPTION", "", "", ""},
        {"OPTION", "", "", ""},
        {"SELECT", "select-one", "y", "s2"},
        {"OPTION", "", "", ""},
        {"OPTION", "", "", ""},
        {"SELECT", "select-multiple", "m2", "s3"},
        {"OPTION", "", "", ""},
        {"OPTION", "", "", ""},
        {"OPTION", "", "", ""},
        {"TEXTAREA", "textarea", "line1\r\nline2", "t"},
        {"TEMPLATE", "", "", ""},
        {"NOSCRIPT", "", "", ""},
    };
    ASSERT_EQ(doc->elementCount(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Element &e = *doc->element(i).value();
        EXPECT_EQ(e.tagName(), expected[i].tag) << i;
        EXPECT_EQ(e.type(), expected[i].type) << i;
        EXPECT_EQ(e.value(), expected[i].value) << i;
        EXPECT_EQ(e.name(), expected[i].name) << i;
    }
    EXPECT_EQ(doc->element(4).value()->innerHtml().value().substr(0, 31), "<input name=\"q\" value=\"a b\"><in");
}

TEST(StaticDocumentLinks, ResolvedAgainstTheFirstBase)
{
    auto doc = page("<head><base href=\"/shop/\"><base href=\"http://ignored.example/\"></head>"
                    "<a href=\"item?id=1&amp;x=2\">1</a><a name=anchor>no href</a>"
                    "<map><area href=\"../map.htm\"></map><a href=\" https://Other.example \">o</a>"
                    "<a href=\"\">self</a><template><a href=t.htm>t</a></template>");
    EXPECT_EQ(doc->baseUrl(), "http://www.shop.example/shop/");
    EXPECT_EQ(doc->links(), (std::vector<std::string>{"http://www.shop.example/shop/item?id=1&x=2",
                                                       "http://www.shop.example/map.htm",
                                                       "https://other.example/",
                                                       "http://www.shop.example/shop/"}));
    EXPECT_EQ(page("<a href=x.htm>x</a>")->baseUrl(), kBase);
}

TEST(StaticDocumentFrames, LoadedThroughTheLoader)
{
    std::vector<std::string> asked;
    FrameLoader loader = [&asked](const std::string &url) -> Result<std::string> {
        asked.push_back(url);
        if (url == "http://www.shop.example/list/menu.htm")
            return "<body>menu<table><tr><td>m</td></tr></table>";
        return failure("blocked: another site");
    };
    auto doc = page("<frameset cols=\"20%,*\"><frame name=menu src=menu.htm><frameset>"
                    "<frame name=main src=\"http://other.example/main.htm\"><frame name=empty></frameset>"
                    "</frameset>",
                    loader);
    EXPECT_EQ(doc->bodyText(), "");
    const auto menu = doc->frame(0);
    ASSERT_TRUE(menu) << menu.error().message;
    EXPECT_EQ(menu->name, "menu");
    EXPECT_EQ(menu->document->bodyText(), "menu\r\nm");
    EXPECT_EQ(menu->document->tableCount(), 1u);
    // A frame is loaded once however often it is read.
    EXPECT_EQ(doc->frame(0)->document, menu->document);
    EXPECT_EQ(asked.size(), 1u);

    EXPECT_EQ(doc->frame(1).error().message, "frame 1 (http://other.example/main.htm): blocked: another site");
    EXPECT_EQ(doc->frame(2).error().message, "frame 2 has no address");
    EXPECT_EQ(doc->frame(3).error().message, "no frame 3 (there are 3)");
    EXPECT_EQ(page("<iframe src=a.htm></iframe>")->frame(0).error().message,
              "frame 0 (http://www.shop.example/list/a.htm) cannot be loaded: the page came without a frame loader");
}

TEST(StaticDocumentFrames, FramesOfFramesStopAtADepthLimit)
{
    FrameLoader loader = [](const std::string &) -> Result<std::string> {
        return std::string("<iframe name=again src=page.htm></iframe>");
    };
    auto doc = page("<iframe name=again src=page.htm></iframe>", loader);
    const Document *current = doc.get();
    int depth = 0;
    for (auto frame = current->frame(0); frame; frame = current->frame(0)) {
        current = frame->document;
        ++depth;
        ASSERT_LT(depth, 100);
    }
    EXPECT_EQ(depth, 8);
    EXPECT_EQ(current->frame(0).error().message, "frame 0: frames nested more than 8 deep");
}

class StaticDocumentFiles : public ::testing::Test {
protected:
    test::ScratchDir dir;
};

TEST_F(StaticDocumentFiles, FramesAreReadFromFilesBesideThePage)
{
    const auto folder = dir.path() / "saved 页面";
    std::filesystem::create_directory(folder);
    test::writeBytes(folder / "index.html",
                     "<frameset><frame name=left src=\"left%20part.html\"><frame name=gone src=gone.html></frameset>");
    // A GBK page declaring itself as gb2312: 中文 in GBK is D6 D0 CE C4.
    test::writeBytes(folder / "left part.html",
                     "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\"></head>"
                     "<body><table><tr><td>\xD6\xD0\xCE\xC4</td></tr></table></body></html>");

    auto doc = loadStaticDocument((folder / "index.html").string());
    ASSERT_TRUE(doc) << doc.error().message;
    const std::string url = (*doc)->baseUrl().value();
    EXPECT_TRUE(url.starts_with("file:///")) << url;
    EXPECT_TRUE(url.ends_with("/saved%20%E9%A1%B5%E9%9D%A2/index.html")) << url;

    const auto left = (*doc)->frame(0);
    ASSERT_TRUE(left) << left.error().message;
    EXPECT_EQ(left->name, "left");
    EXPECT_EQ(tableOf(*left->document, 0).cellText(0, 0), "中文");
    const std::string missing = (*doc)->frame(1).error().message;
    EXPECT_NE(missing.find("cannot read " + (folder / "gone.html").string() + ": No such file or directory"),
              std::string::npos)
        << missing;
}

// As a browser treats the frames of a page opened from disk: files of the page's folder and
// below, nothing else of the disk, nothing that is not an ordinary file, nothing huge.
TEST_F(StaticDocumentFiles, FramesComeOnlyFromOrdinaryFilesOfThePagesFolder)
{
    const auto site = dir.path() / "site";
    std::filesystem::create_directories(site / "sub");
    test::writeBytes(site / "sub" / "inner.html", "<table><tr><td>inner</td></tr></table>");
    test::writeBytes(dir.path() / "outside.html", "<table><tr><td>outside</td></tr></table>");
    std::filesystem::create_symlink(site / "sub" / "inner.html", site / "near.html");
    std::filesystem::create_symlink(dir.path() / "outside.html", site / "far.html");
    ASSERT_EQ(::mkfifo((site / "pipe.html").c_str(), 0600), 0);
    // Sparse: 64 MB and one byte that take no room on the disk.
    {
        std::ofstream big(site / "big.html");
    }
    std::filesystem::resize_file(site / "big.html", (64u << 20) + 1);
    const char *sources[] = {"sub/inner.html", "near.html", "../outside.html", "far.html", "/etc/passwd",
                             "file:///dev/zero", "pipe.html", "big.html", "sub"};
    std::string frames;
    for (const char *src : sources)
        frames += std::string("<frame src=\"") + src + "\">";
    test::writeBytes(site / "index.html", "<frameset>" + frames + "</frameset>");

    auto doc = loadStaticDocument((site / "index.html").string());
    ASSERT_TRUE(doc) << doc.error().message;
    for (std::size_t i = 0; i < 2; ++i) {
        const auto frame = (*doc)->frame(i);
        ASSERT_TRUE(frame) << sources[i] << ": " << frame.error().message;
        EXPECT_EQ(tableOf(*frame->document, 0).cellText(0, 0), "inner");
    }
    const std::pair<std::size_t, std::string> refused[] = {
        {2, "only files in the page's folder are read"}, {3, "only files in the page's folder are read"},
        {4, "only files in the page's folder are read"}, {5, "only files in the page's folder are read"},
        {6, "not an ordinary file"}, {7, "larger than 64 MB"}, {8, "not an ordinary file"},
    };
    for (const auto &[index, reason] : refused) {
        const auto frame = (*doc)->frame(index);
        ASSERT_FALSE(frame) << sources[index];
        EXPECT_NE(frame.error().message.find(reason), std::string::npos) << sources[index] << ": " << frame.error().message;
    }
}

TEST_F(StaticDocumentFiles, PageFilesAndAddresses)
{
    const std::string path = (dir.path() / "missing.html").string();
    EXPECT_EQ(loadStaticDocument(path).error().message, "cannot read " + path + ": No such file or directory");
    EXPECT_EQ(loadStaticDocument(dir.path().string()).error().message,
              "cannot read " + dir.path().string() + ": Is a directory");

    // Without a declaration, bytes that are not UTF-8 are read in the system code page.
    test::writeBytes(dir.file("plain.html"), "<p>\xD6\xD0\xCE\xC4</p>");
    test::writeBytes(dir.file("utf8.html"), "\xEF\xBB\xBF<p>\xE4\xB8\xAD</p>");
    test::writeBytes(dir.file("latin.html"), "<meta charset=iso-8859-1><p>caf\xE9 \x80</p>");
    const std::map<std::string, std::string> bodies = {
        {"plain.html", "中文"}, {"utf8.html", "中"}, {"latin.html", "café €"}};
    for (const auto &[name, text] : bodies) {
        auto doc = loadStaticDocument(dir.file(name).string());
        ASSERT_TRUE(doc) << name;
        EXPECT_EQ((*doc)->bodyText(), text) << name;
    }

    EXPECT_EQ(fileUrlFromPath("/tmp/a b/c#1%.html"), "file:///tmp/a%20b/c%231%25.html");
    EXPECT_EQ(fileUrlFromPath("/tmp/./x/../y.html"), "file:///tmp/y.html");
    EXPECT_EQ(fileFrameLoader(dir.folder())("http://www.example/x.html").error().message,
              "cannot load http://www.example/x.html: only local files are read");
}

}  // namespace
}  // namespace tabvoro::capture
