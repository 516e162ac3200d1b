#pragma once

// Helpers shared by the engine tests: a scratch folder that is removed afterwards, and file
// reading and writing in bytes.

#include <filesystem>
#include <string>

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
void writeBytes(const std::filesystem::path &path, const std::string &bytes);

}  // namespace tabvoro::test
