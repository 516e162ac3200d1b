#include "capture/document/saved_page.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/document/html_charset.h"
#include "capture/output/file_descriptor.h"
#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

constexpr std::uint64_t kMaxFrameBytes = 64u << 20;

Result<std::string> readFile(const std::string &path)
{
    auto fail = [&path] { return failure("cannot read " + path + ": " + std::strerror(errno)); };
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return fail();
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return fail();
    if (S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return fail();
    }
    std::string bytes;
    if (info.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail();
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The local path of a "file:" address; fails for any other address.
Result<std::string> pathFromFileUrl(const std::string &url)
{
    const std::string lower = asciiLower(url.substr(0, std::min<std::size_t>(url.size(), 7)));
    if (lower != "file://")
        return failure("cannot load " + url + ": only local files are read");
    std::string_view rest = std::string_view(url).substr(7);
    rest = rest.substr(0, std::min(rest.find_first_of("?#"), rest.size()));
    const auto slash = std::min(rest.find('/'), rest.size());
    const std::string host = asciiLower(rest.substr(0, slash));
    if (!host.empty() && host != "localhost")
        return failure("cannot load " + url + ": the file is on another computer");
    const std::string path = percentDecoded(rest.substr(slash));
    if (path.empty())
        return failure("cannot load " + url + ": no file named");
    return path;
}

// A frame of a saved page, read as a browser reads frames of a page opened from disk: only a
// regular file in the page's folder or below (after links are followed), of at most
// kMaxFrameBytes. Anything else (a device, a FIFO, a file elsewhere on the disk) is a frame that
// cannot be read.
Result<std::string> readFrameFile(const std::string &path, const std::string &folder, const std::string &url)
{
    auto fail = [&path] { return failure("cannot read " + path + ": " + std::strerror(errno)); };
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr)
        return fail();
    const std::string real = buffer;
    if (!real.starts_with(folder))
        return failure("cannot load " + url + ": only files in the page's folder are read");
    // Not blocking: opening a FIFO would otherwise wait for a writer that never comes.
    const FileDescriptor fd(::open(real.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.get() < 0)
        return fail();
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return fail();
    if (!S_ISREG(info.st_mode))
        return failure("cannot load " + url + ": not an ordinary file");
    if (static_cast<std::uint64_t>(info.st_size) > kMaxFrameBytes)
        return failure("cannot load " + url + ": larger than 64 MB");
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail();
        if (n == 0)
            break;
        // A file that grows while it is read stops at the limit all the same.
        if (bytes.size() + static_cast<std::size_t>(n) > kMaxFrameBytes)
            return failure("cannot load " + url + ": larger than 64 MB");
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
}

}  // namespace

FrameLoader fileFrameLoader(const std::string &pageFolder)
{
    char buffer[PATH_MAX];
    std::string folder = ::realpath(pageFolder.c_str(), buffer) != nullptr ? buffer : pageFolder;
    if (!folder.ends_with('/'))
        folder.push_back('/');
    return [folder](const std::string &url) -> Result<std::string> {
        const auto path = pathFromFileUrl(url);
        if (!path)
            return std::unexpected(path.error());
        auto bytes = readFrameFile(*path, folder, url);
        if (!bytes)
            return std::unexpected(bytes.error());
        return html::pageTextAsUtf8(std::move(*bytes));
    };
}

std::string fileUrlFromPath(const std::string &path)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error)
        absolute = path;
    const std::string text = absolute.lexically_normal().generic_string();
    constexpr char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           std::string_view("/-._~!$&'()*+,;=:@").find(ch) != std::string_view::npos;
        if (plain) {
            url.push_back(ch);
        } else {
            url.push_back('%');
            url.push_back(hex[c >> 4]);
            url.push_back(hex[c & 0xF]);
        }
    }
    return url;
}

Result<std::unique_ptr<StaticDocument>> loadStaticDocument(const std::string &path)
{
    auto bytes = readFile(path);
    if (!bytes)
        return std::unexpected(bytes.error());
    char buffer[PATH_MAX];
    std::string real = ::realpath(path.c_str(), buffer) != nullptr ? buffer : path;
    const auto slash = real.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : real.substr(0, slash + 1);
    return StaticDocument::parse(html::pageTextAsUtf8(std::move(*bytes)), fileUrlFromPath(path),
                                 fileFrameLoader(folder));
}

}  // namespace tabvoro::capture
