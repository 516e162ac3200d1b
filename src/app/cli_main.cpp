// tabvoro-cli: the capture engine on the command line.

#include <iostream>
#include <string>
#include <vector>

#include "cli_capture.h"
#include "cli_run.h"

namespace {

const char *const kUsage = R"(Usage: tabvoro-cli COMMAND [options] ...

Commands:
  capture   capture the tables of saved HTML pages into an output file
            (tabvoro-cli capture --help tells more)
  run       open an address in the hidden main window and capture it as the
            capture button does (tabvoro-cli run --help tells more)
)";

}  // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? std::cerr : std::cout) << kUsage;
        return args.empty() ? 2 : 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "capture")
        return tabvoro::cli::runCapture(rest);
    if (args[0] == "run")
        return tabvoro::cli::runWindow(rest, argc, argv);
    std::cerr << "tabvoro-cli: unknown command " << args[0] << "\n" << kUsage;
    return 2;
}
