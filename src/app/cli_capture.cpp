#include "cli_capture.h"

#include <filesystem>
#include <iostream>

#include <sys/stat.h>

#include "capture/capture_session.h"
#include "capture/capture_table.h"
#include "capture/output/code_page.h"
#include "capture/output/compact_output.h"
#include "capture/output/output_name.h"
#include "capture/output/save_capture.h"
#include "capture/document/saved_page.h"
#include "capture/document/static_document.h"
#include "cli_job.h"
#include "cli_options.h"

namespace tabvoro::cli {

namespace {


int fail(const std::string &message)
{
    std::cerr << "tabvoro-cli: " << message << '\n';
    return 2;
}

std::string folderText(const std::filesystem::path &folder)
{
    std::string text = folder.string();
    if (!text.ends_with('/'))
        text += '/';
    return text;
}

}  // namespace

int runCapture(const std::vector<std::string> &args)
{
    auto parsed = parseJobCommand(args, false);
    if (!parsed)
        return fail(parsed.error() + " (see tabvoro-cli capture --help)");
    CaptureOptions &options = parsed->options.capture;
    if (options.help) {
        std::cout << kCaptureUsage;
        return 0;
    }
    if (options.pages.empty())
        return fail("no page to capture (see tabvoro-cli capture --help)");
    const std::string codePage = options.encoding.empty() ? capture::systemCodePage() : options.encoding;
    if (!capture::encodeText("", codePage))
        return fail("unknown code page " + codePage);
    for (const auto &page : options.pages) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(page, ec))
            return fail("cannot read page " + page);
    }

    capture::CaptureSession session;
    capture::SaveTarget target{options.settings.url, options.settings.ruled, {}, codePage, false};
    if (!options.output.empty()) {
        session.outputPath = options.output;
        target.exactPath = true;
        target.outputFolder = folderText(std::filesystem::path(options.output).parent_path());
    } else {
        std::error_code ec;
        std::filesystem::create_directories(options.outDir, ec);
        std::error_code notFolder;
        if (!std::filesystem::is_directory(options.outDir, notFolder))
            return fail("cannot create output folder " + options.outDir +
                        (ec ? ": " + ec.message() : std::string()));
        target.outputFolder = folderText(options.outDir);
        session.outputPath = capture::webcbnm(options.settings.url, options.settings.ruled, target.outputFolder);
    }

    // Every page is captured as one page of a run; the run ends (blank lines removed) whether
    // it ends at the last page or at the first page that cannot be read or saved.
    int status = 0;
    for (const auto &page : options.pages) {
        auto document = capture::loadStaticDocument(page);
        if (!document) {
            status = fail("cannot read page " + page + ": " + document.error().message);
            break;
        }
        const auto captured = capture::CaptureTable(**document, options.settings, session);
        if (!captured.error.empty()) {
            status = fail("page " + page + ": " + captured.error);
            break;
        }
        if (!captured.kept)
            continue;
        std::cout << captured.status << '\n';
        const auto saved = capture::SaveCapture(captured.text, target, session);
        if (!saved.saved) {
            status = fail("cannot write " + session.outputPath + ": " + saved.error);
            break;
        }
    }
    // Only a file of the run's own is compacted: never what a link there leads to.
    struct stat output {};
    const bool written = ::lstat(session.outputPath.c_str(), &output) == 0 && S_ISREG(output.st_mode);
    if (written)
        if (const auto compacted = capture::CompactOutputFile(session.outputPath); !compacted && status == 0)
            status = fail("cannot rewrite " + session.outputPath + ": " + compacted.error().message);
    // The last line names the output only when there is one to open.
    if (written)
        std::cout << session.outputPath << '\n';
    else if (status == 0)
        std::cout << kNothingCaptured << '\n';
    return status;
}

}  // namespace tabvoro::cli
