// The options of `tabvoro-cli capture` and `run` as scripts give them: every refusal in the
// program's own words, and values taken as they stand.

#include <gtest/gtest.h>

#include "cli_options.h"

namespace tabvoro::test {
namespace {

using cli::parseCaptureOptions;
using cli::parseRunOptions;
using Args = std::vector<std::string>;

struct Refusal {
    Args args;
    std::string message;
};

TEST(CliOptions, RefusalsAreToldInTheProgramsWords)
{
    const Refusal capture[] = {
        {{}, "no page to capture"},
        {{"--keyword", "k"}, "no page to capture"},
        {{"--bogus", "p"}, "unknown option --bogus"},
        {{"--bogus=3", "p"}, "unknown option --bogus=3"},
        {{"---x", "p"}, "unknown option ---x"},
        {{"--url-list", "f", "p"}, "unknown option --url-list"},
        {{"p", "--keyword"}, "--keyword needs a value"},
        {{"p", "--mode"}, "--mode needs a value"},
        {{"--mode", "diagonal", "p"}, "unknown --mode 'diagonal' (first-row, every-row or position)"},
        {{"--header=1", "p"}, "unknown option --header=1"},
        {{"--header=", "p"}, "unknown option --header="},
        {{"--help=yes"}, "unknown option --help=yes"},
        {{"--out-dir=", "p"}, "--out-dir needs a folder"},
        {{"--out-dir", "", "p"}, "--out-dir needs a folder"},
        {{"--output", "", "p"}, "--output needs a file"},
        {{"--encoding=", "p"}, "--encoding needs a code page name"},
        // Help is given only to arguments that are right.
        {{"--help", "--bogus"}, "unknown option --bogus"},
    };
    for (const auto &c : capture) {
        const auto parsed = parseCaptureOptions(c.args);
        ASSERT_FALSE(parsed) << c.message;
        EXPECT_EQ(parsed.error(), c.message);
    }

    const std::string u = "http://127.0.0.1/";
    const Refusal run[] = {
        {{"--keyword", "k"}, "no page to capture"},
        {{"--colour", "red", u}, "unknown option --colour"},
        {{"--paging", "sideways", u}, "unknown --paging 'sideways' (link, number, list, dropdown or scroll)"},
        {{"--timer", "0", u}, "--timer needs a number of at least 1"},
        {{"--timer", "5ms", u}, "--timer needs a number of at least 1"},
        {{"--timer", "3000000000", u}, "--timer needs a number of at most 2147483647"},
        {{"--max-pages", "nan", u}, "--max-pages needs a number of at least 1"},
        {{"--max-pages", "1e16", u}, "--max-pages needs a number of at most 1000000000000000"},
        {{"--timeout", "", u}, "--timeout needs a number of at least 0"},
        {{"--timeout", "-1", u}, "--timeout needs a number of at least 0"},
        {{"--timeout", "3000000", u}, "--timeout needs a number of at most 2147483"},
        {{"--page-timeout", "0.5", u}, "--page-timeout needs a number of at least 1"},
        {{"--page-timeout", "inf", u}, "--page-timeout needs a number of at most 2147483"},
        {{u, "--from"}, "--from needs a value"},
        {{u, "--page-timeout"}, "--page-timeout needs a value"},
        {{"--settle", "-1", u}, "--settle needs a number of at least 0"},
        {{"--settle", "3000000", u}, "--settle needs a number of at most 2147483"},
        {{"--mode", "x", u}, "unknown --mode 'x' (first-row, every-row or position)"},
    };
    for (const auto &c : run) {
        const auto parsed = parseRunOptions(c.args);
        ASSERT_FALSE(parsed) << c.message;
        EXPECT_EQ(parsed.error(), c.message);
    }
}

TEST(CliOptions, ValuesAreTakenAsTheyStand)
{
    // The argument after an option is its value whatever it holds; "--name=" is an empty value.
    auto parsed = parseCaptureOptions({"--keyword", "--header", "--next-text=", "--url=a=b", "--frame", "--", "p"});
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(parsed->settings.keyword, "--header");
    EXPECT_FALSE(parsed->settings.includeHeader);
    EXPECT_EQ(parsed->settings.nextPageText, "");
    EXPECT_EQ(parsed->settings.url, "a=b");
    EXPECT_TRUE(parsed->settings.inFrame);
    EXPECT_EQ(parsed->settings.frameText, "--");
    EXPECT_EQ(parsed->pages, Args{"p"});

    // Pages keep their order; a single dash is no option, and "--" ends the options.
    parsed = parseCaptureOptions({"-x", "b", "-h", "-", "--ruled", "-5", "--", "--header", "--", "--bogus"});
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(parsed->pages, (Args{"-x", "b", "-h", "-", "-5", "--header", "--", "--bogus"}));
    EXPECT_FALSE(parsed->help);
    EXPECT_FALSE(parsed->settings.includeHeader);
    EXPECT_TRUE(parsed->settings.ruled);

    // A later option overrides an earlier one; --header and --links exclude each other.
    parsed = parseCaptureOptions({"--links", "--keyword", "a", "p", "--header", "--keyword=b", "--out-dir", "x", "--out-dir", "y"});
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(parsed->settings.keyword, "b");
    EXPECT_TRUE(parsed->settings.includeHeader);
    EXPECT_FALSE(parsed->settings.includeLinks);
    EXPECT_EQ(parsed->outDir, "y");
    parsed = parseCaptureOptions({"--header", "--header", "--links", "p"});
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_FALSE(parsed->settings.includeHeader);
    EXPECT_TRUE(parsed->settings.includeLinks);

    parsed = parseCaptureOptions({"--mode", "every-row", "--fields", "!A,名,", "--help"});
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_TRUE(parsed->help);
    EXPECT_EQ(parsed->settings.keywordMode, capture::KeywordMode::CommonText);
    ASSERT_EQ(parsed->settings.fields.size(), 3u);
    EXPECT_EQ(parsed->settings.fields[0].name, "A");
    EXPECT_FALSE(parsed->settings.fields[0].selected);
    EXPECT_EQ(parsed->settings.fields[1].name, "名");
    EXPECT_TRUE(parsed->settings.fields[2].selected);
}

TEST(CliOptions, RunOptionsMixWithTheCaptureOptions)
{
    auto parsed = parseRunOptions({"--timer", "1.9", "--keyword", "编号", "--paging=number", "--from", "1", "--to", "-3",
                                   "http://127.0.0.1/?p=(*)", "--max-pages", "1e3", "--timeout", "0.5",
                                   "--page-timeout", " 2", "--dropdown", "pg", "--header", "--settle", "2.5"});
    ASSERT_TRUE(parsed) << parsed.error();
    const auto &run = parsed->run;
    EXPECT_EQ(run.paging, 1);
    EXPECT_EQ(run.from, "1");
    EXPECT_EQ(run.to, "-3");
    EXPECT_EQ(run.timerMs, 1);
    EXPECT_EQ(run.maxPages, 1000);
    EXPECT_EQ(run.timeoutSeconds, 0.5);
    EXPECT_EQ(run.pageTimeoutSeconds, 2);
    EXPECT_EQ(run.settleSeconds, 2.5);
    EXPECT_EQ(run.dropDown, "pg");
    EXPECT_EQ(parsed->capture.settings.keyword, "编号");
    EXPECT_TRUE(parsed->capture.settings.includeHeader);
    EXPECT_EQ(parsed->capture.pages, Args{"http://127.0.0.1/?p=(*)"});

    // Untouched, the limits are the documented defaults.
    parsed = parseRunOptions({"http://127.0.0.1/"});
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_FALSE(parsed->run.paging);
    EXPECT_FALSE(parsed->run.timerMs);
    EXPECT_FALSE(parsed->run.maxPages);
    EXPECT_EQ(parsed->run.timeoutSeconds, 600);
    EXPECT_EQ(parsed->run.pageTimeoutSeconds, 60);
    EXPECT_EQ(parsed->run.settleSeconds, 10);
    // 0 captures a page at its load, as before there was a settle wait.
    EXPECT_EQ(parseRunOptions({"--settle", "0", "http://127.0.0.1/"})->run.settleSeconds, 0);

    // A URL list stands in for the URL; how many URLs a run takes is the run's to say.
    parsed = parseRunOptions({"--url-list", "urls.txt"});
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(parsed->run.urlListFile, "urls.txt");
    EXPECT_TRUE(parsed->capture.pages.empty());
    parsed = parseRunOptions({"--help"});
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_TRUE(parsed->capture.help);
}

}  // namespace
}  // namespace tabvoro::test
