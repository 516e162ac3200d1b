#pragma once

#include <string>
#include <vector>

namespace tabvoro::cli {

// `tabvoro-cli run`: drives the hidden main window; returns the exit status.
int runWindow(const std::vector<std::string> &args, int argc, char **argv);

}  // namespace tabvoro::cli
