#include "capture/output/save_capture.h"
#include "capture/output/file_descriptor.h"

#include <cerrno>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/output/code_page.h"
#include "capture/error.h"
#include "capture/output/output_name.h"
#include "capture/output/ruled_text.h"

namespace tabvoro::capture {

namespace {

std::string systemError(const char *what)
{
    return std::string(what) + std::strerror(errno);
}

// The format decides the extension even when the file was named for the other format; the name
// is not made unique again, since appending to a file of the same run is what is wanted.
void forceExtension(std::string &path, std::string_view extension)
{
    const std::size_t cut = path.size() < extension.size() ? path.size() : extension.size();
    if (std::string_view(path).substr(path.size() - cut) != extension)
        path.replace(path.size() - cut, cut, extension);
}


// `header` begins a file that is new or empty, and no other: appending never repeats it.
Result<void> appendToFile(const std::string &path, std::string_view bytes, std::string_view header)
{
    // Never through a symbolic link, and never into anything but an ordinary file: a link or a
    // FIFO placed in the output folder must not decide where the capture goes or stall the run
    // (a FIFO opened without blocking has no reader to wait for).
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666));
    if (file.get() < 0) {
        if (errno == ELOOP)
            return failure("无法打开文件：是符号链接");
        return failure(systemError("无法打开文件："));
    }

    struct stat before {};
    if (::fstat(file.get(), &before) != 0)
        return failure(systemError("无法读取文件信息："));
    if (!S_ISREG(before.st_mode))
        return failure("无法打开文件：不是普通文件");
    std::string headed;
    if (before.st_size == 0 && !header.empty()) {
        headed.reserve(header.size() + bytes.size());
        headed.append(header).append(bytes);
        bytes = headed;
    }

    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(file.get(), bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            std::string reason = systemError("写入失败：");
            // A half-written capture would be taken for a whole one by whoever reads the file.
            if (::ftruncate(file.get(), before.st_size) != 0)
                reason += "；文件末尾留有未写完的内容";
            return failure(reason);
        }
        written += static_cast<std::size_t>(n);
    }
    if (file.close() != 0)
        return failure(systemError("关闭文件失败："));
    return {};
}

}  // namespace

std::string tooLargeMessage(std::size_t maxBytes)
{
    constexpr std::size_t mb = std::size_t{1} << 20;
    const std::string limit = maxBytes % mb == 0 ? std::to_string(maxBytes / mb) + " MB" : std::to_string(maxBytes) + " 字节";
    return "采集的文本超过 " + limit + "，本次没有采集，也没有写入文件";
}

SaveOutcome SaveCapture(std::string_view captureText, const SaveTarget &target,
                        CaptureSession &session)
{
    SaveOutcome outcome;
    try {
        if (session.outputPath.empty())
            session.outputPath = webcbnm(target.url, target.ruled, target.outputFolder);

        // A text past the limit is refused before a byte of it reaches the file.
        Result<void> written;
        if (target.ruled) {
            CodePageWidths widths(target.codePage);
            if (auto ruled = MakeRuledText(captureText, ",", widths, target.maxBytes))
                outcome.shownText = std::move(*ruled);
            else
                written = failure(tooLargeMessage(target.maxBytes));
            if (!target.exactPath)
                forceExtension(session.outputPath, "txt");
        } else {
            if (captureText.size() <= target.maxBytes)
                outcome.shownText = std::string(captureText);
            else
                written = failure(tooLargeMessage(target.maxBytes));
            if (!target.exactPath)
                forceExtension(session.outputPath, "csv");
        }

        if (written) {
            auto encoded = encodeText(outcome.shownText, target.codePage);
            if (!encoded)
                written = failure("无法使用代码页 " + target.codePage + "：" + encoded.error().message);
            else if (encoded->bytes.size() > target.maxBytes)
                written = failure(tooLargeMessage(target.maxBytes));
            else
                written = appendToFile(session.outputPath, encoded->bytes,
                                       writesByteOrderMark(target.codePage) ? kUtf8Bom : std::string_view());
        }

        if (written) {
            outcome.saved = true;
            outcome.status = kSavedMessage + session.outputPath;
        } else {
            outcome.error = written.error().message;
        }
    } catch (const std::exception &e) {
        outcome.error = e.what();
    }
    if (!outcome.saved)
        outcome.status = kNotSavedMessage + session.outputPath + "（" + outcome.error + "）";
    session.statusText = outcome.status;
    return outcome;
}

}  // namespace tabvoro::capture
