#include "run_program.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include <unistd.h>

namespace tabvoro::cli {

namespace {

const char *startedAs = "";

}  // namespace

void setStartedAs(const char *path) { startedAs = path; }

int startRunProgram(const std::vector<std::string> &args)
{
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        self = startedAs;
    const std::string program = (self.parent_path() / "tabvoro-run").string();
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const auto &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    std::cerr << "tabvoro-cli: cannot start " << program << ": " << std::strerror(errno) << '\n';
    return 2;
}

}  // namespace tabvoro::cli
