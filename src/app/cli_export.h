#pragma once

#include <string>
#include <vector>

namespace tabvoro::cli {

// `tabvoro-cli export`: an output file as a spreadsheet; returns the exit status.
int runExport(const std::vector<std::string> &args);

}  // namespace tabvoro::cli
