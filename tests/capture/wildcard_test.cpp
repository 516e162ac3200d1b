#include "capture/wildcard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace tabvoro::capture {
namespace {

TEST(Wildcard, PatternsMatchTheWholeAddress)
{
    struct Case {
        const char *pattern;
        const char *text;
        bool matches;
    };
    const Case cases[] = {
        {"http://a/list_#.htm", "http://a/list_2.htm", true},
        {"http://a/list_#.htm", "http://a/list_12.htm", false},
        {"http://a/list_#.htm", "http://a/list_x.htm", false},
        {"http://a/list_*.htm", "http://a/list_2.htm", true},
        {"http://a/list_*.htm", "http://a/list_12.htm", true},
        {"http://a/list_*.htm", "http://a/list_.htm", true},
        {"http://a/list_*.htm", "http://a/list_2.html", false},
        // Not anchored anywhere but at both ends: a piece of the address is no match.
        {"list_#.htm", "http://a/list_2.htm", false},
        {"list_*.htm", "http://a/list_12.htm", false},
        {"*list_#.htm", "http://a/list_2.htm", true},
        {"HTTP://a/*", "http://a/list_2.htm", false},
        {"http://a/?.htm", "http://a/页.htm", true},
        {"http://a/?.htm", "http://a/页面.htm", false},
        {"http://a/??.htm", "http://a/页面.htm", true},
        {"p[abc].htm", "pb.htm", true},
        {"p[abc].htm", "pd.htm", false},
        {"p[a-z].htm", "pq.htm", true},
        {"p[a-z].htm", "pQ.htm", false},
        {"p[!abc].htm", "pd.htm", true},
        {"p[!abc].htm", "pa.htm", false},
        {"p[页面].htm", "p面.htm", true},
        // Bytes that begin no character are one each and match only themselves.
        {"\xE1\xFE!", "\xF1\xFE!", false},
        {"\xC0\x80", "\xC1\x80", false},
        {"\xC0\x80", "\xC0\x80", true},
        {"?", "\xE4\xB8", false},
        {"??", "\xE4\xB8", true},
        {"p[abc.htm", "p[abc.htm", false},
        {"p[abc.htm", "pa.htm", false},
        {"*", "", true},
        {"", "", true},
        {"?", "", false},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYcZ", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(wildcardMatch(c.pattern, c.text), c.matches) << c.pattern << " / " << c.text;
}

TEST(Wildcard, OnlyStarQuestionMarkAndHashMakeAPattern)
{
    EXPECT_TRUE(isWildcardPattern("list_*.htm"));
    EXPECT_TRUE(isWildcardPattern("list_?.htm"));
    EXPECT_TRUE(isWildcardPattern("list_#.htm"));
    // A list alone is taken as plain text: the caller then looks for it as a substring.
    EXPECT_FALSE(isWildcardPattern("list_[12].htm"));
    EXPECT_FALSE(isWildcardPattern("http://a/list_"));
}

TEST(Wildcard, ManyStarsOverALongTextStayFast)
{
    const std::string text(100000, 'a');
    std::string pattern;
    for (int i = 0; i < 200; ++i)
        pattern += "*a";
    pattern += "*b";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(wildcardMatch(pattern, text));
    EXPECT_TRUE(wildcardMatch(pattern.substr(0, pattern.size() - 1), text));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace tabvoro::capture
