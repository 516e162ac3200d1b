#pragma once

#include <string>
#include <vector>

namespace tabvoro::cli {

// `tabvoro-cli list`: the capture test of a saved page as one JSON object; returns the exit
// status.
int runList(const std::vector<std::string> &args);

}  // namespace tabvoro::cli
