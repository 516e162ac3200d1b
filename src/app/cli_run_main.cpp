// tabvoro-run: `tabvoro-cli run`, the main window driven from the command line. Started by
// tabvoro-cli with the arguments that follow "run".

#include <string>
#include <vector>

#include "cli_run.h"

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tabvoro::cli::runWindow(args, argc, argv);
}
