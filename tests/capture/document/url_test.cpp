#include "capture/document/url.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tabvoro::capture {
namespace {

struct Resolution {
    const char *reference;
    const char *expected;
};

void expectResolutions(const char *base, std::initializer_list<Resolution> cases)
{
    for (const auto &c : cases)
        EXPECT_EQ(resolveUrl(base, c.reference), std::optional<std::string>(c.expected))
            << "base " << base << ", reference \"" << c.reference << '"';
}

// RFC 3986 section 5.4.1.
TEST(ResolveUrl, NormalExamples)
{
    expectResolutions("http://a/b/c/d;p?q", {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        // A browser gives a host without a path the path "/".
        {"//g", "http://g/"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../", "http://a/"},
        {"../../g", "http://a/g"},
    });
}

// RFC 3986 section 5.4.2.
TEST(ResolveUrl, AbnormalExamples)
{
    expectResolutions("http://a/b/c/d;p?q", {
        {"../../../g", "http://a/g"},
        {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
        // The backward-compatible reading, which browsers keep for http.
        {"http:g", "http://a/b/c/g"},
    });
}

TEST(ResolveUrl, FileBases)
{
    expectResolutions("file:///home/user/saved/page.html", {
        {"frame.html", "file:///home/user/saved/frame.html"},
        {"../other/f.html", "file:///home/user/other/f.html"},
        {"/etc/x.html", "file:///etc/x.html"},
        {"#top", "file:///home/user/saved/page.html#top"},
        {"sub\\f.html", "file:///home/user/saved/sub/f.html"},
        {"file://localhost/tmp/a.html", "file:///tmp/a.html"},
    });
    expectResolutions("file:///home/user/my%20pages/page.html", {
        {"a b.html", "file:///home/user/my%20pages/a%20b.html"},
    });
}

TEST(ResolveUrl, BrowserHabits)
{
    expectResolutions("http://www.shop.example/list/page.htm?p=1", {
        // "\" is "/" before the query, and stays itself in it.
        {"\\img\\a.png", "http://www.shop.example/img/a.png"},
        {"next.htm?dir=a\\b", "http://www.shop.example/list/next.htm?dir=a\\b"},
        {"\\\\other.example\\x", "http://other.example/x"},
        // Blanks and controls at the ends go; tabs and line breaks inside go too.
        {" \t\n next.htm \r\n", "http://www.shop.example/list/next.htm"},
        {"ne\r\nxt.h\ttm", "http://www.shop.example/list/next.htm"},
        // Absolute addresses keep their case except the scheme and the host.
        {"HTTP://Other.EXAMPLE/A/B?C#D", "http://other.example/A/B?C#D"},
        {"https://user:PW@Host.example:8080", "https://user:PW@host.example:8080/"},
        {"mailto:Someone@Example.com", "mailto:Someone@Example.com"},
        {"javascript:void(0)", "javascript:void(0)"},
        {"//cdn.example/x.js", "http://cdn.example/x.js"},
        // Blanks and non-ASCII are percent-encoded as UTF-8, existing escapes are kept.
        {"a b.htm?q=中 文#x y", "http://www.shop.example/list/a%20b.htm?q=%E4%B8%AD%20%E6%96%87#x%20y"},
        {"a%20b.htm", "http://www.shop.example/list/a%20b.htm"},
    });
}

TEST(ResolveUrl, FailsWithoutAnAbsoluteBase)
{
    EXPECT_EQ(resolveUrl("page.html", "next.html"), std::nullopt);
    EXPECT_EQ(resolveUrl("", "next.html"), std::nullopt);
    EXPECT_EQ(resolveUrl("", "http://Example.com"), "http://example.com/");
    // An address like about:blank takes a fragment and nothing else.
    EXPECT_EQ(resolveUrl("about:blank", "next.html"), std::nullopt);
    EXPECT_EQ(resolveUrl("about:blank", "#a"), "about:blank#a");
}

TEST(DecodeCharacterReferences, DecodesAsABrowserDoes)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a&amp;b", "a&b"},
        {"&lt;&gt;&quot;&apos;", "<>\"'"},
        {"&nbsp;&copy;&reg;&trade;&hellip;&mdash;&yen;", "\u00A0\u00A9\u00AE\u2122\u2026\u2014\u00A5"},
        {"&Eacute;&yuml;&alpha;&Omega;&sigmaf;&euro;&rarr;", "\u00C9\u00FF\u03B1\u03A9\u03C2\u20AC\u2192"},
        {"&#38;&#x26;&#X26;&#20013;&#x1F600;", "&&&\u4E2D\U0001F600"},
        // Numeric references without ";" still count; so do the old Latin-1 names.
        {"&#38 &amp &copy 2024", "& & \u00A9 2024"},
        // What cannot be a character becomes U+FFFD; 128 to 159 are windows-1252.
        {"&#0;&#x110000;&#xD800;&#99999999999;", "\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"&#150;&#x80;", "\u2013\u20AC"},
        // Anything else is left as it stands.
        {"&unknown; & &; &#; &#x; &hellip &amp=1", "&unknown; & &; &#; &#x; &hellip &amp=1"},
        {"plain text", "plain text"},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(decodeCharacterReferences(text), expected) << text;
}

}  // namespace
}  // namespace tabvoro::capture
