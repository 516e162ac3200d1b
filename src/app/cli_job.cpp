#include "cli_job.h"

#include <filesystem>
#include <iostream>

#include "capture/output/code_page.h"
#include "capture/output/url_list.h"
#include "command_line.h"

namespace tabvoro::cli {

const char *const kJobUsage = R"(Usage: tabvoro-cli job save FILE [capture options] [run options] URL
       tabvoro-cli job save FILE [capture options] [run options] --url-list FILE

Writes a job file (JSON) that holds the settings the options give, as `tabvoro-cli run` takes
them, with URL as its address; a --url-list file's addresses are kept in the job itself. Run it
with `tabvoro-cli run --job FILE`, go on with a stopped run with `--resume`, or open it in the
window (任务 > 打开采集任务).

Exit status: 0 when the job file was written; 2 with a message on stderr for bad arguments or
a file that cannot be written.
)";

namespace {

// Where the job's own values go before the command line's are read over them.
void optionsFromJob(const capture::Job &job, RunCommandOptions &out)
{
    out.capture.settings = job.settings;
    if (!job.outputFolder.empty())
        out.capture.outDir = job.outputFolder;
    out.capture.output = job.output;
    out.capture.encoding = job.encoding;
    out.run.paging = static_cast<int>(job.settings.pagingMode);
    out.run.from = job.settings.startPage;
    out.run.to = job.settings.endPage;
    out.run.dropDown = job.settings.dropDownName;
    if (job.settings.timed)
        out.run.timerMs = job.timerMs;
    out.run.engine = job.engine;
    out.run.settleSeconds = job.settleSeconds;
}

// `--job FILE` or `--job=FILE`, looked for before anything else is read.
std::string jobArgument(const std::vector<std::string> &args)
{
    std::string file;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--")
            break;
        if (args[i] == "--job" && i + 1 < args.size())
            file = args[++i];
        else if (args[i].starts_with("--job="))
            file = args[i].substr(6);
    }
    return file;
}

}  // namespace

std::expected<JobCommandOptions, std::string> parseJobCommand(const std::vector<std::string> &args, bool withRun)
{
    JobCommandOptions result;
    result.jobFile = jobArgument(args);
    if (!result.jobFile.empty()) {
        auto job = capture::readJobFile(result.jobFile);
        if (!job)
            return std::unexpected(job.error().message);
        result.job = std::move(*job);
        optionsFromJob(result.job, result.options);
    }
    CommandLine line;
    addCaptureOptions(line, result.options.capture);
    if (withRun) {
        addRunOptions(line, result.options.run);
        line.flag("--resume", [&result] { result.resume = true; });
    }
    line.option("--job", [](const std::string &file) {
        if (file.empty())
            throw ArgumentError("--job needs a file");
    });
    auto pages = line.parse(args);
    if (!pages)
        return std::unexpected(pages.error().message);
    result.options.capture.pages = std::move(*pages);
    if (result.resume && result.jobFile.empty())
        return std::unexpected(std::string("--resume needs --job"));
    return result;
}

capture::Job jobFromOptions(const RunCommandOptions &options, const capture::Job &base,
                            const std::vector<std::string> &urlList)
{
    capture::Job job = base;
    capture::CaptureSettings &s = job.settings;
    s = options.capture.settings;
    if (!options.capture.pages.empty())
        s.url = options.capture.pages.front();
    const RunOptions &run = options.run;
    s.pagingMode = static_cast<capture::PagingMode>(run.paging.value_or(0));
    s.startPage = run.from;
    s.endPage = run.to;
    s.dropDownName = run.dropDown;
    s.timed = run.timerMs.has_value();
    job.timerMs = run.timerMs.value_or(base.timerMs);
    job.outputFolder = options.capture.outDir;
    job.encoding = options.capture.encoding;
    job.output = options.capture.output;
    job.engine = run.engine;
    job.settleSeconds = run.settleSeconds;
    if (!urlList.empty()) {
        job.urlList = urlList;
        job.urlListRow = 0;
    }
    return job;
}

int runJobCommand(const std::vector<std::string> &args)
{
    const auto fail = [](const std::string &message) {
        std::cerr << "tabvoro-cli: " << message << '\n';
        return 2;
    };
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kJobUsage;
        return 0;
    }
    if (args.size() < 2 || args[0] != "save")
        return fail("job takes: save FILE [options] URL (see tabvoro-cli job --help)");
    const std::string file = args[1];
    const std::vector<std::string> rest(args.begin() + 2, args.end());
    auto parsed = parseJobCommand(rest, true);
    if (!parsed)
        return fail(parsed.error() + " (see tabvoro-cli job --help)");
    const RunCommandOptions &options = parsed->options;
    std::vector<std::string> urlList;
    if (!options.run.urlListFile.empty()) {
        auto bytes = capture::readWholeFile(options.run.urlListFile);
        if (!bytes)
            return fail("cannot read " + options.run.urlListFile);
        urlList = capture::readUrlListFile(*bytes, capture::systemCodePage());
        if (urlList.empty())
            return fail(options.run.urlListFile + " holds no address");
    }
    const std::size_t urls = options.capture.pages.size();
    if (urlList.empty() ? urls != 1 : urls > 1)
        return fail(urlList.empty() ? "job save takes exactly one URL" : "job save takes at most one URL with --url-list");
    capture::Job job = jobFromOptions(options, parsed->job, urlList);
    if (urls == 0)
        job.settings.url = urlList.front();
    // A job runs from wherever it is started (a timer starts it in the home folder): the
    // folders it was saved with are made absolute.
    std::error_code ec;
    job.outputFolder = std::filesystem::absolute(job.outputFolder, ec).string();
    if (!job.output.empty())
        job.output = std::filesystem::absolute(job.output, ec).string();
    if (auto written = capture::writeJobFile(file, job); !written)
        return fail(written.error().message);
    std::cout << file << '\n';
    return 0;
}

}  // namespace tabvoro::cli
