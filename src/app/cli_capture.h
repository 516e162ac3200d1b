#pragma once

#include <string>
#include <vector>

namespace tabvoro::cli {

// `tabvoro-cli capture`: returns the exit status.
int runCapture(const std::vector<std::string> &args);

}  // namespace tabvoro::cli
