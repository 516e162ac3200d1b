// Every page in tests/fixtures/document/ read through the static document and compared, dump
// against dump, with the reading a browser gives of it (the .expected file beside the page).
// TABVORO_UPDATE_EXPECTED=1 rewrites the .expected files from the current reading; check each
// rewritten file by hand before keeping it.

#include "capture/document/document_dump.h"
#include "capture/document/html_charset.h"
#include "capture/document/saved_page.h"
#include "capture/document/static_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include "test_support.h"

namespace tabvoro::capture {
namespace {

namespace fs = std::filesystem;

const fs::path kDocumentFixtures = fs::path(TABVORO_FIXTURES) / "document";
const fs::path kRealPages = fs::path(TABVORO_FIXTURES) / "realpages";
// Pages are read under a fixed address so that resolved links do not depend on where the
// source tree lies.
const std::string kSite = "http://fixtures.test/document/";

FrameLoader fixtureLoader()
{
    return [](const std::string &url) -> Result<std::string> {
        if (!url.starts_with(kSite))
            return failure("not a fixture: " + url);
        const fs::path file = kDocumentFixtures / url.substr(kSite.size());
        if (!fs::is_regular_file(file))
            return failure("no fixture " + file.filename().string());
        return html::pageTextAsUtf8(test::readBytes(file));
    };
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// The first line where the two dumps part, with its neighbours: enough to see what changed
// without scrolling through a whole page's dump.
std::string firstDifference(const std::string &expected, const std::string &actual)
{
    const auto want = lines(expected);
    const auto got = lines(actual);
    std::size_t i = 0;
    while (i < want.size() && i < got.size() && want[i] == got[i])
        ++i;
    std::ostringstream out;
    out << "first difference at line " << i + 1 << "\n";
    for (std::size_t k = i > 2 ? i - 2 : 0; k < i; ++k)
        out << "    " << want[k] << "\n";
    out << "  - " << (i < want.size() ? want[i] : "(end of expected)") << "\n";
    out << "  + " << (i < got.size() ? got[i] : "(end of reading)") << "\n";
    return out.str();
}

TEST(DocumentTextRules, FixturesReadAsExpected)
{
    std::vector<fs::path> pages;
    for (const auto &entry : fs::directory_iterator(kDocumentFixtures))
        if (entry.path().extension() == ".html")
            pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end());
    ASSERT_GE(pages.size(), 9u) << "fixtures missing from " << kDocumentFixtures;

    const char *update = std::getenv("TABVORO_UPDATE_EXPECTED");
    const bool rewrite = update && std::string(update) == "1";
    for (const auto &pagePath : pages) {
        const std::string name = pagePath.filename().string();
        // Read as a saved page is: its bytes decoded as its byte-order mark or meta tag says.
        auto doc = StaticDocument::parse(html::pageTextAsUtf8(test::readBytes(pagePath)), kSite + name, fixtureLoader());
        const std::string actual = dumpDocument(*doc);
        fs::path expectedPath = pagePath;
        expectedPath.replace_extension(".expected");
        if (rewrite) {
            test::writeBytes(expectedPath, actual);
            continue;
        }
        ASSERT_TRUE(fs::exists(expectedPath)) << expectedPath << " missing; run with TABVORO_UPDATE_EXPECTED=1";
        const std::string expected = test::readBytes(expectedPath);
        EXPECT_TRUE(expected == actual) << name << ": " << firstDifference(expected, actual);
    }
}

std::unique_ptr<StaticDocument> realPage(const std::string &name)
{
    auto doc = loadStaticDocument((kRealPages / name).string());
    if (!doc)
        throw std::runtime_error(doc.error().message);
    return std::move(*doc);
}

TEST(DocumentTextRules, RealPages)
{
    auto census = realPage("ibge-censo.html");
    ASSERT_EQ(census->tableCount(), 1u);
    const Table &counties = *census->table(0).value();
    EXPECT_EQ(counties.rowCount(), 93u);
    EXPECT_EQ(counties.cellText(0, 1), "município");
    EXPECT_EQ(counties.cellText(5, 1), "Armação dos Búzios");
    EXPECT_EQ(counties.cellText(92, 2), "257.803");
    EXPECT_TRUE(counties.text()->starts_with("ufmunicípiopessoas\r\nRJAngra dos Reis169.511\r\n"));
    const auto links = census->links().value();
    ASSERT_EQ(links.size(), 3u);
    EXPECT_TRUE(links[0].ends_with("/realpages/compara.php?lang=&coduf=33&idtema=1&codv=V01&order=uf&dir=desc&lista=uf&custom="))
        << links[0];

    auto spanned = realPage("colspan-table.html");
    const Table &titled = *spanned->table(0).value();
    EXPECT_EQ(titled.rowCount(), 4u);
    EXPECT_EQ(titled.cellColSpan(0, 0), 2);
    EXPECT_EQ(titled.cellText(0, 0), "huge title");
    EXPECT_EQ(titled.cellColSpan(1, 0), 1);

    auto nested = realPage("nested-table.html");
    ASSERT_EQ(nested->tableCount(), 3u);
    const std::size_t rows[] = {4, 6, 2};
    for (std::size_t t = 0; t < 3; ++t)
        EXPECT_EQ(nested->table(t).value()->rowCount(), rows[t]) << t;
    EXPECT_EQ(nested->table(1).value()->cellText(3, 0), "t0,2r0c0\tt0,2r0c1\r\nt0,2r1c0\tt0,2r1c1");
}

}  // namespace
}  // namespace tabvoro::capture
