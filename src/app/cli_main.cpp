// tabvoro-cli: the capture engine on the command line.

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include <filesystem>

#include "cli_capture.h"
#include "cli_list.h"

namespace {

const char *const kUsage = R"(Usage: tabvoro-cli COMMAND [options] ...

Commands:
  capture   capture the tables of saved HTML pages into an output file
            (tabvoro-cli capture --help tells more)
  list      the capture test of a saved page, as JSON
            (tabvoro-cli list --help tells more)
  run       open an address in the hidden main window and capture it as the
            capture button does (tabvoro-cli run --help tells more)
)";

// `run` needs the browser: it is the program beside this one, given the arguments after "run".
int runWindowProgram(char **argv)
{
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        self = argv[0];
    const std::string program = (self.parent_path() / "tabvoro-run").string();
    std::vector<char *> args{const_cast<char *>(program.c_str())};
    for (char **arg = argv + 2; *arg; ++arg)
        args.push_back(*arg);
    args.push_back(nullptr);
    execv(program.c_str(), args.data());
    std::cerr << "tabvoro-cli: cannot start " << program << ": " << std::strerror(errno) << '\n';
    return 2;
}

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
    if (args[0] == "list")
        return tabvoro::cli::runList(rest);
    if (args[0] == "run")
        return runWindowProgram(argv);
    std::cerr << "tabvoro-cli: unknown command " << args[0] << "\n" << kUsage;
    return 2;
}
