#pragma once

#include <string>
#include <vector>

namespace tabvoro::cli {

// This program's path as it was started, for when /proc cannot tell it.
void setStartedAs(const char *path);

// What needs a browser is done by tabvoro-run, the program beside this one: it replaces this
// program, given `args`. Returns only when it cannot be started, with the exit status 2.
int startRunProgram(const std::vector<std::string> &args);

}  // namespace tabvoro::cli
