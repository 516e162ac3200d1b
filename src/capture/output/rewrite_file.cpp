#include "capture/output/rewrite_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/output/file_descriptor.h"

namespace tabvoro::capture {

namespace {

std::string systemError(const std::string &what) { return what + ": " + std::strerror(errno); }

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

Result<std::string> readAll(int fd, const std::string &path, std::size_t sizeHint)
{
    std::string bytes;
    bytes.resize(sizeHint);
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size())
            bytes.resize(bytes.size() * 2 + 4096);
        const ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
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

bool inGroup(gid_t group)
{
    if (group == ::getegid())
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<std::size_t>(i)] == group)
            return true;
    return false;
}

// Whether the file's permissions let this user write it. The rename would replace it all the
// same (only the folder's permissions count for that), and an administrator may write anything:
// the bits the file carries say what its owner wants.
bool permitsWriting(const struct stat &info, const std::string &path)
{
    const mode_t bit = info.st_uid == ::geteuid() ? S_IWUSR : inGroup(info.st_gid) ? S_IWGRP : S_IWOTH;
    return (info.st_mode & bit) != 0 && ::access(path.c_str(), W_OK) == 0;
}

// Follows a symbolic link so that the file it names is rewritten and the link stays a link.
std::string resolvedPath(const std::string &path)
{
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) != nullptr)
        return buffer;
    return path;
}

// Puts `bytes` in place of `target` through a temporary file in the same folder: written, given
// `keep`'s owner and permissions (or 0666 less the umask), flushed, then renamed over it.
Result<void> installFile(const std::string &target, std::string_view bytes, const struct stat *keep)
{
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // A short hidden name in the same folder: rename is only atomic within one file system, the
    // old file's name may already be as long as names get, and a left-over after a kill does not
    // clutter the folder the user looks at.
    std::string pattern = folder + ".tabvoro-XXXXXX";
    FileDescriptor file(::mkstemp(pattern.data()));
    if (file.get() < 0)
        return failure(systemError("cannot create a temporary file beside " + target));
    TemporaryFile temporary(pattern);

    if (!writeAll(file.get(), bytes))
        return failure(systemError("cannot write " + temporary.path()));
    mode_t mode = 0666;
    if (keep) {
        // Only an administrator may give a file away; for anyone else the file stays theirs. The
        // permissions come after, as a change of owner clears the set-id bits.
        if (keep->st_uid != ::geteuid() || keep->st_gid != ::getegid())
            (void)::fchown(file.get(), keep->st_uid, keep->st_gid);
        mode = keep->st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    if (::fchmod(file.get(), mode) != 0)
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

}  // namespace

Result<void> rewriteFile(const std::string &path,
                         const std::function<Result<std::string>(std::string_view)> &transform)
{
    if (path.empty())
        return failure("no output file named");
    const std::string target = resolvedPath(path);

    struct stat info {};
    std::string before;
    {
        const FileDescriptor file(::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (file.get() < 0)
            return failure(systemError("cannot open " + path));
        if (::fstat(file.get(), &info) != 0)
            return failure(systemError("cannot read the attributes of " + path));
        if (!S_ISREG(info.st_mode))
            return failure("not an ordinary file: " + path);
        if (!permitsWriting(info, target))
            return failure(path + " is read-only: it is left as it is");
        auto bytes = readAll(file.get(), path, static_cast<std::size_t>(info.st_size));
        if (!bytes)
            return std::unexpected(bytes.error());
        before = std::move(*bytes);
    }
    const auto after = transform(before);
    if (!after)
        return std::unexpected(after.error());
    if (*after == before)
        return {};

    return installFile(target, *after, &info);
}

Result<void> replaceFile(const std::string &path, std::string_view bytes)
{
    if (path.empty())
        return failure("no file named");
    const std::string target = resolvedPath(path);
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    return installFile(target, bytes, exists ? &info : nullptr);
}

}  // namespace tabvoro::capture
