#pragma once

#include <string>
#include <vector>

namespace tabvoro::cli {

// `tabvoro-cli list URL`: the capture test of a page opened in a browser without a window,
// printed as the listing of a saved page is; returns the exit status.
int runLiveList(const std::vector<std::string> &args, int argc, char **argv);

}  // namespace tabvoro::cli
