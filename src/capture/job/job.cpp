#include "capture/job/job.h"

#include <climits>
#include <fstream>
#include <sstream>

#include "capture/job/json_fields.h"
#include "capture/output/rewrite_file.h"

namespace tabvoro::capture {

namespace {

constexpr const char *kKeywordModeNames[] = {"first-row", "every-row", "position"};
constexpr const char *kPagingModeNames[] = {"link", "number", "list", "dropdown", "scroll"};
constexpr const char *kRunEngineNames[] = {"webengine", "chromium"};

template <class Enum, std::size_t N>
Result<void> readName(const JsonFields &in, const char *key, const char *const (&names)[N], Enum &out)
{
    std::string name;
    if (auto read = in.text(key, name); !read)
        return read;
    if (!in.has(key))
        return {};
    for (std::size_t i = 0; i < N; ++i)
        if (name == names[i]) {
            out = static_cast<Enum>(i);
            return {};
        }
    std::string allowed;
    for (std::size_t i = 0; i < N; ++i)
        allowed += (i ? "、" : "") + std::string(names[i]);
    return failure(in.field(key) + " 应为 " + allowed + " 之一，而不是 \"" + name + "\"");
}

Result<void> readFields(const JsonFields &in, std::vector<Field> &fields)
{
    std::vector<JsonFields> rows;
    if (auto read = in.objects("fields", rows); !read)
        return read;
    for (const auto &row : rows) {
        Field field;
        if (auto read = row.text("name", field.name); !read)
            return read;
        if (auto read = row.flag("selected", field.selected); !read)
            return read;
        fields.push_back(std::move(field));
    }
    return {};
}

Result<Job> readJob(const JsonFields &in)
{
    if (auto version = in.version(kJobVersion); !version)
        return std::unexpected(version.error());
    Job job;
    CaptureSettings &s = job.settings;
    KeywordMode keywordMode = KeywordMode::FirstRowPrefix;
    const Result<void> reads[] = {
        in.text("url", s.url),
        in.text("keyword", s.keyword),
        readName(in, "keywordMode", kKeywordModeNames, keywordMode),
        in.flag("inFrame", s.inFrame),
        in.text("frame", s.frameText),
        in.flag("header", s.includeHeader),
        in.flag("links", s.includeLinks),
        in.flag("ruled", s.ruled),
        in.flag("uniqueRows", s.uniqueRows),
        in.flag("timed", s.timed),
        in.integer("timerMs", job.timerMs, 1, INT_MAX),
        readName(in, "paging", kPagingModeNames, s.pagingMode),
        in.text("nextText", s.nextPageText),
        in.text("from", s.startPage),
        in.text("to", s.endPage),
        in.text("dropdown", s.dropDownName),
        in.texts("urlList", job.urlList),
        readFields(in, s.fields),
        in.text("outputFolder", job.outputFolder),
        in.text("encoding", job.encoding),
        in.text("output", job.output),
        readName(in, "engine", kRunEngineNames, job.engine),
        in.number("settle", job.settleSeconds, 0, kMaxSettleSeconds),
    };
    for (const auto &read : reads)
        if (!read)
            return std::unexpected(read.error());
    s.keywordMode = keywordMode;
    if (auto read = in.integer("urlListRow", job.urlListRow, -1, static_cast<long long>(job.urlList.size()) - 1); !read)
        return std::unexpected(read.error());
    return job;
}

}  // namespace

const char *keywordModeName(KeywordMode mode) { return kKeywordModeNames[static_cast<int>(mode)]; }
const char *pagingModeName(PagingMode mode) { return kPagingModeNames[static_cast<int>(mode)]; }
const char *runEngineName(RunEngine engine) { return kRunEngineNames[static_cast<int>(engine)]; }

std::optional<RunEngine> runEngineNamed(std::string_view name)
{
    for (std::size_t i = 0; i < std::size(kRunEngineNames); ++i)
        if (name == kRunEngineNames[i])
            return static_cast<RunEngine>(i);
    return std::nullopt;
}

Result<Job> parseJob(std::string_view json)
{
    auto fields = JsonFields::parse(json);
    if (!fields)
        return std::unexpected(fields.error());
    return readJob(*fields);
}

std::string jobJson(const Job &job)
{
    const CaptureSettings &s = job.settings;
    nlohmann::ordered_json fields = nlohmann::ordered_json::array();
    for (const auto &field : s.fields)
        fields.push_back({{"name", field.name}, {"selected", field.selected}});
    const nlohmann::ordered_json out = {
        {"version", kJobVersion},
        {"url", s.url},
        {"keyword", s.keyword},
        {"keywordMode", keywordModeName(s.keywordMode.value_or(KeywordMode::FirstRowPrefix))},
        {"inFrame", s.inFrame},
        {"frame", s.frameText},
        {"header", s.includeHeader},
        {"links", s.includeLinks},
        {"ruled", s.ruled},
        {"uniqueRows", s.uniqueRows},
        {"timed", s.timed},
        {"timerMs", job.timerMs},
        {"paging", pagingModeName(s.pagingMode)},
        {"nextText", s.nextPageText},
        {"from", s.startPage},
        {"to", s.endPage},
        {"dropdown", s.dropDownName},
        {"urlList", job.urlList},
        {"urlListRow", job.urlListRow},
        {"fields", fields},
        {"outputFolder", job.outputFolder},
        {"encoding", job.encoding},
        {"output", job.output},
        {"engine", runEngineName(job.engine)},
        {"settle", job.settleSeconds},
    };
    return dumpJson(out);
}

Result<std::string> readWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return failure("无法读取 " + path);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return failure("无法读取 " + path);
    return bytes.str();
}

Result<Job> readJobFile(const std::string &path)
{
    auto bytes = readWholeFile(path);
    if (!bytes)
        return std::unexpected(bytes.error());
    auto job = parseJob(*bytes);
    if (!job)
        return failure("任务文件 " + path + " 有误：" + job.error().message);
    return job;
}

Result<void> writeJobFile(const std::string &path, const Job &job)
{
    if (auto written = replaceFile(path, jobJson(job)); !written)
        return failure("无法保存任务文件 " + path + "：" + written.error().message);
    return {};
}

}  // namespace tabvoro::capture
