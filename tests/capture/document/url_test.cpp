#include "capture/document/url.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
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

// The URL standard's rules where the reading of RFC 3986 alone parts from browsers.
TEST(ResolveUrl, SpecialSchemesAsBrowsersParseThem)
{
    expectResolutions("http://h/a/", {
        // Another special scheme needs no slashes before its host.
        {"https:www.x.com/p", "https://www.x.com/p"},
        {"https:\\\\www.x.com\\p", "https://www.x.com/p"},
        {"ftp:/files.example/f", "ftp://files.example/f"},
        // Default ports go, others stay; leading zeros do not count.
        {"http://x.example:80/p", "http://x.example/p"},
        {"https://x.example:443", "https://x.example/"},
        {"http://x.example:0080", "http://x.example/"},
        {"http://x.example:8080", "http://x.example:8080/"},
        {"http://x.example:/p", "http://x.example/p"},
        // Dots written as escapes are dots all the same.
        {"%2e%2E/b", "http://h/b"},
        {"x/.%2e/y", "http://h/a/y"},
        // Numeric hosts are IPv4 addresses.
        {"http://0x7f.1/", "http://127.0.0.1/"},
        {"http://3232235521", "http://192.168.0.1/"},
        {"http://WWW.%45xample.COM/", "http://www.example.com/"},
        {"http://user@:pass@h/", "http://user%40:pass@h/"},
    });
    // Addresses no browser opens.
    for (const char *bad : {"http://a b/", "http://x.example:65536/", "http://x.example:8a/", "http://1.2.3.256/",
                            "http://a<b/", "http://[zz]/", "http://", "http://user@/"})
        EXPECT_EQ(resolveUrl("http://h/a/", bad), std::nullopt) << bad;
}

TEST(ResolveUrl, OtherSchemesKeepTheirPathsAndHosts)
{
    expectResolutions("foo:/a/b", {
        {"../../..//x", "foo:/.//x"},
        {"c", "foo:/a/c"},
        {"./c/../d", "foo:/a/d"},
        {"//Host/P", "foo://Host/P"},
        {"\\c", "foo:/a/\\c"},
    });
    expectResolutions("a:/.", {{"", "a:/"}});
    expectResolutions("foo://Host/a/b?q", {{"?r", "foo://Host/a/b?r"}, {"c d", "foo://Host/a/c%20d"}});
    EXPECT_EQ(resolveUrl("", "foo:bar/../x?y z#f"), "foo:bar/../x?y%20z#f");
    EXPECT_EQ(resolveUrl("mailto:a@b.example", "x"), std::nullopt);
}

// Whatever a reference resolves to is an address that resolves to itself, from any page and
// from itself: the writing a browser gives an address reads back the same.
TEST(ResolveUrl, AResolvedAddressResolvesToItself)
{
    const std::string_view bases[] = {"http://h/a/b?q#f", "https://user:pw@x.example:8443/", "file:///home/u/p.html",
                                      "foo:/a/b", "foo://host/a", "a:/.", "mailto:x@y"};
    const std::string_view pieces[] = {"/", "//", "\\", ".", "..", "%2e", "x", "H", ":", "@", "?", "#", "80", " ",
                                       "中", "%41", "[::1]", "0x7f.1", "http:", "foo:", "file:", "a:", ";", "|", "c:"};
    std::mt19937 random(12);
    std::size_t resolved = 0;
    for (int n = 0; n < 20000; ++n) {
        std::string reference;
        const int count = static_cast<int>(random() % 7);
        for (int k = 0; k < count; ++k)
            reference += pieces[random() % std::size(pieces)];
        const std::string_view base = bases[random() % std::size(bases)];
        const auto url = resolveUrl(base, reference);
        if (!url)
            continue;
        ++resolved;
        ASSERT_EQ(resolveUrl(*url, *url), url) << "base " << base << ", reference \"" << reference << '"';
        ASSERT_EQ(resolveUrl("http://other.example/", *url), url) << "base " << base << ", reference \"" << reference << '"';
    }
    EXPECT_GT(resolved, 10000u);
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
