#pragma once

// Helpers shared by the engine tests: a scratch folder that is removed afterwards, and file
// reading and writing in bytes, and a program run in that folder.

#include <filesystem>
#include <string>
#include <vector>

namespace tabvoro::test {

// A fresh empty folder under the system temporary folder, removed with everything in it when
// the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    // The folder as text ending in "/", as the engine takes folders.
    std::string folder() const { return m_path.string() + "/"; }
    std::filesystem::path file(const std::string &name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

std::string readBytes(const std::filesystem::path &path);

// A program run with `args` in `dir`: its exit status (-1 when it did not exit) and what it
// printed on each stream.
struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
};
ProgramResult runProgram(const ScratchDir &dir, const std::string &program, const std::vector<std::string> &args);
void writeBytes(const std::filesystem::path &path, const std::string &bytes);

}  // namespace tabvoro::test
