#pragma once

#include <string>
#include <vector>

namespace tabvoro::cli {

// `tabvoro-cli run`: a capture run over the pages of a site in the browser chosen, with no
// window; returns the exit status.
int runPages(const std::vector<std::string> &args, int argc, char **argv);

}  // namespace tabvoro::cli
