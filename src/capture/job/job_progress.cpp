#include "capture/job/job_progress.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/job/job.h"
#include "capture/job/json_fields.h"
#include "capture/output/file_descriptor.h"
#include "capture/output/rewrite_file.h"
#include "capture/next_page.h"
#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

std::string systemError(const std::string &what) { return what + "：" + std::strerror(errno); }

}  // namespace

std::string progressPath(const std::string &jobPath) { return jobPath + ".progress"; }

Result<JobProgress> parseProgress(std::string_view json)
{
    auto in = JsonFields::parse(json);
    if (!in)
        return std::unexpected(in.error());
    if (auto version = in->version(kJobVersion); !version)
        return std::unexpected(version.error());
    JobProgress p;
    long long bytes = 0, captures = 0, rows = 0;
    int mode = 0, nextRow = -1;
    std::string nextPage, dropDownValue;
    const Result<void> reads[] = {
        in->text("output", p.output),
        in->integer64("bytes", bytes, 0),
        in->integer64("captures", captures, 0),
        in->integer64("rows", rows, 0),
        in->text("lastCapture", p.lastCapture),
        in->integer("mode", mode, 0, 4),
        in->text("lastUrl", p.lastUrl),
        in->text("nextPage", nextPage),
        in->integer("nextRow", nextRow, -1, INT_MAX),
        in->text("dropDownValue", dropDownValue),
        in->flag("finished", p.finished),
    };
    for (const auto &read : reads)
        if (!read)
            return std::unexpected(read.error());
    if (p.output.empty())
        return failure("缺少字段 \"output\"");
    p.bytes = bytes;
    p.captures = captures;
    p.rows = rows;
    p.mode = static_cast<PagingMode>(mode);
    if (in->has("nextPage"))
        p.nextPage = nextPage;
    if (in->has("nextRow"))
        p.nextRow = nextRow;
    if (in->has("dropDownValue"))
        p.dropDownValue = dropDownValue;
    return p;
}

std::string progressJson(const JobProgress &p)
{
    nlohmann::ordered_json out = {
        {"version", kJobVersion},
        {"output", p.output},
        {"bytes", p.bytes},
        {"captures", p.captures},
        {"rows", p.rows},
        {"lastCapture", p.lastCapture},
        {"mode", static_cast<int>(p.mode)},
        {"lastUrl", p.lastUrl},
    };
    if (p.nextPage)
        out["nextPage"] = *p.nextPage;
    if (p.nextRow)
        out["nextRow"] = *p.nextRow;
    if (p.dropDownValue)
        out["dropDownValue"] = *p.dropDownValue;
    out["finished"] = p.finished;
    return dumpJson(out);
}

Result<std::optional<JobProgress>> readProgressFile(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT)
        return std::optional<JobProgress>();
    auto bytes = readWholeFile(path);
    if (!bytes)
        return std::unexpected(bytes.error());
    auto progress = parseProgress(*bytes);
    if (!progress)
        return failure("进度文件 " + path + " 有误：" + progress.error().message);
    return std::optional<JobProgress>(std::move(*progress));
}

Result<void> writeProgressFile(const std::string &path, const JobProgress &progress)
{
    {
        const FileDescriptor output(::open(progress.output.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (output.get() >= 0 && ::fsync(output.get()) != 0)
            return failure(systemError("无法把 " + progress.output + " 写入磁盘"));
    }
    if (auto written = replaceFile(path, progressJson(progress)); !written)
        return failure("无法保存进度文件 " + path + "：" + written.error().message);
    return {};
}

JobProgress progressAfterCapture(const CaptureSession &session, std::int64_t outputBytes, PagingMode mode)
{
    JobProgress p;
    p.output = session.outputPath;
    p.bytes = outputBytes;
    p.captures = session.captureCount;
    p.rows = session.recordTotal;
    p.lastCapture = session.lastCapture;
    p.mode = mode;
    return p;
}

std::string nextPageNumber(const std::string &shown, const std::string &last)
{
    const double page = leadingNumber(shown);
    const double end = leadingNumber(last);
    if (page == end)
        return {};
    return formatNumber(end > page ? page + 1 : page - 1);
}

int nextUrlListRow(const std::vector<std::string> &urlList, int currentRow)
{
    const int rows = static_cast<int>(urlList.size());
    if (rows <= 1 || currentRow >= rows - 1)
        return -1;
    const std::string current = currentRow >= 0 ? urlList[static_cast<std::size_t>(currentRow)] : std::string();
    const int next = currentRow + 1;
    return hostPart(urlList[static_cast<std::size_t>(next)]) == hostPart(current) ? next : -1;
}

Result<CutOutcome> cutUnrecordedEnd(const JobProgress &progress)
{
    const FileDescriptor file(::open(progress.output.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (file.get() < 0)
        return failure(systemError("无法打开输出文件 " + progress.output));
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return failure("输出文件 " + progress.output + " 不是普通文件");
    if (info.st_size <= progress.bytes)
        return CutOutcome{};
    // Every capture, comma-separated or ruled, ends in CR LF in any code page the program
    // writes; a recorded end that is not a line end means the file was changed by other hands.
    if (progress.bytes > 0) {
        char end[2] = {};
        if (::pread(file.get(), end, 2, progress.bytes - 2) != 2 || end[0] != '\r' || end[1] != '\n')
            return failure("输出文件 " + progress.output + " 已被改动，与进度记录不符，没有续采");
    }
    if (::ftruncate(file.get(), progress.bytes) != 0 || ::fsync(file.get()) != 0)
        return failure(systemError("无法截去输出文件 " + progress.output + " 末尾未记录的内容"));
    return CutOutcome{info.st_size - progress.bytes};
}

CaptureSession resumedSession(const JobProgress &progress)
{
    CaptureSession session;
    session.outputPath = progress.output;
    session.captureCount = progress.captures;
    session.recordTotal = progress.rows;
    session.lastCapture = progress.lastCapture;
    return session;
}

}  // namespace tabvoro::capture
