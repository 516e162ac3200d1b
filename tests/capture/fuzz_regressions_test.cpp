// Every fuzz harness over every fixture (the seeds it grew from) and over the inputs a fuzzer
// once stopped on, kept in fixtures/fuzz-regressions/HARNESS/: what was found stays mended.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "test_support.h"

namespace tabvoro::test {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = TABVORO_FIXTURES;

std::vector<std::string> g_broken;

void recordBroken(const char *rule) { g_broken.emplace_back(rule); }

std::vector<fs::path> filesBelow(const fs::path &folder)
{
    std::vector<fs::path> files;
    if (fs::is_directory(folder))
        for (const auto &entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    return files;
}

void runOver(const fuzz::HarnessEntry &harness, const std::vector<fs::path> &files)
{
    fuzz::setFailureHandler(recordBroken);
    for (const auto &file : files) {
        g_broken.clear();
        harness.run(readBytes(file));
        for (const auto &rule : g_broken)
            ADD_FAILURE() << harness.name << " on " << file.lexically_relative(kFixtures).string() << ": " << rule;
    }
    fuzz::setFailureHandler(nullptr);
}

TEST(FuzzRegressions, EveryHarnessKeepsItsRulesOnTheFixtures)
{
    const auto fixtures = filesBelow(kFixtures);
    ASSERT_GT(fixtures.size(), 20u);
    for (const auto &harness : fuzz::harnesses())
        runOver(harness, fixtures);
}

TEST(FuzzRegressions, InputsOnceFoundStayMended)
{
    const fs::path regressions = kFixtures / "fuzz-regressions";
    for (const auto &folder : fs::directory_iterator(regressions)) {
        if (!folder.is_directory())
            continue;
        bool known = false;
        for (const auto &harness : fuzz::harnesses())
            known = known || folder.path().filename() == harness.name;
        EXPECT_TRUE(known) << "no harness " << folder.path().filename();
    }
    for (const auto &harness : fuzz::harnesses())
        runOver(harness, filesBelow(regressions / harness.name));
}

}  // namespace
}  // namespace tabvoro::test
