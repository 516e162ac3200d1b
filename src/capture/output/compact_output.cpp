#include "capture/output/compact_output.h"
#include "capture/output/file_descriptor.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

std::string systemError(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}


// The temporary file until it has taken the old file's place; removed on every other way out.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : m_path(std::move(path)) {}
    ~TemporaryFile()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    const std::string &path() const { return m_path; }
    void release() { m_path.clear(); }

private:
    std::string m_path;
};

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

Result<std::string> readWholeFile(const std::string &path, struct stat &info)
{
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return failure(systemError("cannot open " + path));
    if (::fstat(file.get(), &info) != 0)
        return failure(systemError("cannot read the attributes of " + path));
    if (!S_ISREG(info.st_mode))
        return failure("not an ordinary file: " + path);

    std::string bytes;
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size())
            bytes.resize(bytes.size() * 2 + 4096);
        const ssize_t n = ::read(file.get(), bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failure(systemError("cannot read " + path));
        if (n == 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    bytes.resize(used);
    return bytes;
}

std::string compactLines(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + 2);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        std::size_t next;
        if (end == std::string_view::npos) {
            end = bytes.size();
            next = end;
        } else if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') {
            next = end + 2;
        } else {
            next = end + 1;
        }
        const std::string_view line = bytes.substr(pos, end - pos);
        if (!trimSpaces(line).empty()) {
            out += line;
            out += kCrLf;
        }
        pos = next;
    }
    return out;
}

// Follows a symbolic link so that the file it names is rewritten and the link stays a link.
std::string resolvedPath(const std::string &path)
{
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) != nullptr)
        return buffer;
    return path;
}

}  // namespace

Result<void> CompactOutputFile(const std::string &path)
{
    if (path.empty())
        return failure("no output file named");

    struct stat info {};
    const auto bytes = readWholeFile(path, info);
    if (!bytes)
        return std::unexpected(bytes.error());
    const std::string compacted = compactLines(*bytes);

    const std::string target = resolvedPath(path);
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);

    // A hidden name in the same folder: rename is only atomic within one file system, and a
    // left-over after a kill does not clutter the folder the user looks at.
    std::string pattern = folder + "." + name + ".tmpXXXXXX";
    FileDescriptor file(::mkstemp(pattern.data()));
    if (file.get() < 0)
        return failure(systemError("cannot create a temporary file beside " + target));
    TemporaryFile temporary(pattern);

    if (!writeAll(file.get(), compacted))
        return failure(systemError("cannot write " + temporary.path()));
    if (::fchmod(file.get(), info.st_mode & 07777) != 0)
        return failure(systemError("cannot set the permissions of " + temporary.path()));
    // The data must be on disk before the rename makes it the only copy.
    if (::fsync(file.get()) != 0)
        return failure(systemError("cannot flush " + temporary.path()));
    if (file.close() != 0)
        return failure(systemError("cannot close " + temporary.path()));
    if (::rename(temporary.path().c_str(), target.c_str()) != 0)
        return failure(systemError("cannot replace " + target));
    temporary.release();

    // Makes the rename itself durable; the file is already whole either way, so a failure here
    // is not reported.
    FileDescriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return {};
}

}  // namespace tabvoro::capture
