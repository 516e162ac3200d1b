#include "cli_export.h"

#include <iostream>

#include "capture/output/code_page.h"
#include "capture/output/xlsx_export.h"
#include "command_line.h"

namespace tabvoro::cli {

namespace {

const char *const kExportUsage = R"(Usage: tabvoro-cli export FILE [-o OUT.xlsx]

Writes an output file (.csv, or the cells of a ruled .txt) as a spreadsheet of one worksheet,
its first row frozen: beside FILE with the extension .xlsx, or to OUT.xlsx. A field that is a
number becomes a number, unless it begins with a 0 ("0123") or has more than 15 digits; every
other field stays text as it is. FILE is read as UTF-8 when it begins with a byte-order mark or
is valid UTF-8, else in the code page (GB18030, or TABVORO_CODEPAGE). An older spreadsheet of
the same name is replaced only once the new one is complete. Prints the spreadsheet's path.

Options:
  -o, --output OUT.xlsx   the spreadsheet to write
  --help                  show this text

Exit status: 0 when the spreadsheet was written; 2 with a message on stderr for bad
arguments, a file that cannot be read, or a spreadsheet that cannot be written.
)";

constexpr const char *kSeeHelp = " (see tabvoro-cli export --help)";

int fail(const std::string &message)
{
    std::cerr << "tabvoro-cli: " << message << '\n';
    return 2;
}

}  // namespace

int runExport(const std::vector<std::string> &args)
{
    bool help = false;
    std::string output;
    CommandLine line;
    line.flag("--help", [&help] { help = true; });
    line.option("--output", [&output](const std::string &v) { output = v; });
    // "-o" is read as its long form; the parser knows only "--" options.
    std::vector<std::string> spelled = args;
    for (std::size_t i = 0; i < spelled.size() && spelled[i] != "--"; ++i)
        if (spelled[i] == "-o")
            spelled[i++] = "--output";
    const auto files = line.parse(spelled);
    if (!files)
        return fail(files.error().message + kSeeHelp);
    if (help) {
        std::cout << kExportUsage;
        return 0;
    }
    if (files->size() != 1)
        return fail(std::string("export takes exactly one file") + kSeeHelp);
    const auto done = capture::ExportToXlsx(files->front(), output, capture::systemCodePage());
    if (!done)
        return fail(done.error().message);
    std::cout << done->path << '\n';
    return 0;
}

}  // namespace tabvoro::cli
