// tabvoro-cli: the capture engine on the command line.

#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli_capture.h"
#include "cli_export.h"
#include "cli_job.h"
#include "cli_list.h"
#include "run_program.h"

namespace {

const char *const kUsage = R"(Usage: tabvoro-cli COMMAND [options] ...
       tabvoro-cli --version

Commands:
  capture   capture the tables of saved HTML pages into an output file
            (tabvoro-cli capture --help tells more)
  list      the capture test of a saved page, or of an address opened in a
            browser without a window, as JSON
            (tabvoro-cli list --help tells more)
  run       open an address in a browser without a window and capture it as
            the capture button does (tabvoro-cli run --help tells more)
  job       job save FILE [options] URL: write a job file for run --job
            (tabvoro-cli job --help tells more)
  export    export FILE [-o OUT.xlsx]: an output file as a spreadsheet
            (tabvoro-cli export --help tells more)
)";

// `run` needs the browser: it is the program beside this one, given the arguments after "run".
int runRunProgram(const std::vector<std::string> &args) { return tabvoro::cli::startRunProgram(args); }

// Each command reads the arguments that follow its name.
struct Command {
    const char *name;
    int (*run)(const std::vector<std::string> &args);
};

const Command kCommands[] = {
    {"capture", tabvoro::cli::runCapture},
    {"list", tabvoro::cli::runList},
    {"run", runRunProgram},
    {"job", tabvoro::cli::runJobCommand},
    {"export", tabvoro::cli::runExport},
};

// This program's version, then the browsers' as tabvoro-run finds them: the embedded view's
// engine is a library this program does not load, and the system's Chromium may have been
// updated since the build.
int printVersion()
{
    std::cout << "tabvoro-cli " << TABVORO_VERSION << std::endl;
    runRunProgram({"--version"});
    std::cout << "webengine: not installed\nchromium: unknown (the engines are asked by tabvoro-run)\n";
    return 0;
}

int unknownCommand(const std::string &command)
{
    std::cerr << "tabvoro-cli: unknown command " << command << "\n" << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    tabvoro::cli::setStartedAs(argv[0]);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    // Options before the command are the program's own; from the command's name on, every
    // argument is the command's.
    CLI::App app;
    app.set_help_flag();
    bool help = false;
    bool version = false;
    app.add_flag("--help,-h", help);
    app.add_flag("--version", version);
    app.prefix_command();
    try {
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::ParseError &) {
        return unknownCommand(args.front());
    }
    const std::vector<std::string> rest = app.remaining();
    if (version)
        return printVersion();
    if (help || (!rest.empty() && rest.front() == "help")) {
        std::cout << kUsage;
        return 0;
    }
    for (const auto &command : kCommands)
        if (!rest.empty() && rest.front() == command.name)
            return command.run(std::vector<std::string>(rest.begin() + 1, rest.end()));
    return unknownCommand(rest.empty() ? args.front() : rest.front());
}
