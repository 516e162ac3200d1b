#include "capture/output/xlsx_export.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <xlsxwriter.h>

#include "capture/output/code_page.h"
#include "capture/output/file_descriptor.h"
#include "capture/output/spreadsheet_cells.h"
#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

// Read at a time; a block always ends at a line end, so no character is cut in two.
constexpr std::size_t kReadBytes = std::size_t{1} << 18;

std::string systemError(const std::string &what) { return what + ": " + std::strerror(errno); }

bool endsWithIgnoringCase(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && asciiLower(text.substr(text.size() - end.size())) == end;
}

// The file's contents in blocks of whole lines (the last may lack its line end).
class LineBlocks {
public:
    explicit LineBlocks(int fd) : m_fd(fd) {}

    // The next block into `block`; false at the end of the file.
    Result<bool> next(std::string &block, const std::string &path)
    {
        for (;;) {
            const auto lineEnd = m_pending.rfind('\n');
            if (lineEnd != std::string::npos && (!m_atEnd || lineEnd + 1 == m_pending.size())) {
                block.assign(m_pending, 0, lineEnd + 1);
                m_pending.erase(0, lineEnd + 1);
                return true;
            }
            if (m_atEnd) {
                block = std::move(m_pending);
                m_pending.clear();
                return !block.empty();
            }
            const std::size_t used = m_pending.size();
            m_pending.resize(used + kReadBytes);
            ssize_t n;
            do
                n = ::read(m_fd, m_pending.data() + used, kReadBytes);
            while (n < 0 && errno == EINTR);
            if (n < 0)
                return failure(systemError("cannot read " + path));
            m_pending.resize(used + static_cast<std::size_t>(n));
            m_atEnd = n == 0;
        }
    }

    Result<void> rewind(const std::string &path)
    {
        if (::lseek(m_fd, 0, SEEK_SET) != 0)
            return failure(systemError("cannot read " + path));
        m_pending.clear();
        m_atEnd = false;
        return {};
    }

private:
    int m_fd;
    std::string m_pending;
    bool m_atEnd = false;
};

// UTF-8 when the file says so by its mark or by every byte, as the program reads any file of
// unknown encoding; decided before the first row, which is why the file is read twice.
Result<bool> readsAsUtf8(LineBlocks &blocks, const std::string &path)
{
    std::string block;
    bool first = true;
    bool valid = true;
    for (;;) {
        auto more = blocks.next(block, path);
        if (!more)
            return std::unexpected(more.error());
        if (!*more)
            break;
        if (first && block.starts_with(kUtf8Bom))
            break;
        first = false;
        valid = valid && isValidUtf8(block);
    }
    if (auto rewound = blocks.rewind(path); !rewound)
        return std::unexpected(rewound.error());
    return valid;
}

// The workbook being written and its temporary file, both gone unless finished.
class Workbook {
public:
    Workbook() = default;
    ~Workbook()
    {
        if (m_book)
            lxw_workbook_free(m_book);
        if (!m_temporary.empty())
            ::unlink(m_temporary.c_str());
    }
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    Result<void> open(const std::string &target)
    {
        const auto slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
        std::string pattern = folder + ".tabvoro-XXXXXX";
        FileDescriptor file(::mkstemp(pattern.data()));
        if (file.get() < 0)
            return failure(systemError("cannot write " + target));
        m_temporary = pattern;
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(file.get(), 0666 & ~mask) != 0)
            return failure(systemError("cannot write " + target));

        // Rows go to disk as they are written, in order, so the memory stays that of one row.
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        m_book = workbook_new_opt(m_temporary.c_str(), &options);
        m_sheet = m_book ? workbook_add_worksheet(m_book, nullptr) : nullptr;
        if (!m_sheet)
            return failure("cannot start the spreadsheet " + target + " (no room for its temporary files?)");
        worksheet_freeze_panes(m_sheet, 1, 0);
        return {};
    }

    Result<void> writeRow(std::size_t row, const std::vector<std::string_view> &fields)
    {
        if (row >= LXW_ROW_MAX)
            return failure("more than " + std::to_string(LXW_ROW_MAX) + " rows: a worksheet holds no more");
        if (fields.size() > LXW_COL_MAX)
            return failure("row " + std::to_string(row + 1) + " has more than " + std::to_string(LXW_COL_MAX) +
                           " fields: a worksheet holds no more");
        for (std::size_t col = 0; col < fields.size(); ++col) {
            const std::string_view field = fields[col];
            if (field.empty())
                continue;
            const auto r = static_cast<lxw_row_t>(row);
            const auto c = static_cast<lxw_col_t>(col);
            lxw_error error;
            if (const auto number = spreadsheetNumber(field)) {
                error = worksheet_write_number(m_sheet, r, c, *number, nullptr);
            } else {
                m_cell.assign(field);
                error = worksheet_write_string(m_sheet, r, c, m_cell.c_str(), nullptr);
            }
            if (error != LXW_NO_ERROR)
                return failure("row " + std::to_string(row + 1) + ", field " + std::to_string(col + 1) + ": " +
                               lxw_strerror(error));
        }
        return {};
    }

    // Completes the spreadsheet and puts it in the target's place.
    Result<void> finish(const std::string &target)
    {
        const lxw_error error = workbook_close(m_book);
        m_book = nullptr;
        if (error != LXW_NO_ERROR)
            return failure("cannot write " + target + ": " + lxw_strerror(error));
        // On disk before the rename makes it the only copy.
        FileDescriptor written(::open(m_temporary.c_str(), O_RDONLY | O_CLOEXEC));
        if (written.get() < 0 || ::fsync(written.get()) != 0)
            return failure(systemError("cannot write " + target));
        if (::rename(m_temporary.c_str(), target.c_str()) != 0)
            return failure(systemError("cannot replace " + target));
        m_temporary.clear();
        return {};
    }

private:
    lxw_workbook *m_book = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    std::string m_temporary;
    std::string m_cell;  // the field being written, ended by a NUL as the library wants it
};

bool sameFile(const struct stat &a, const std::string &path)
{
    struct stat b {};
    return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::string xlsxPathBeside(const std::string &source)
{
    const auto slash = source.rfind('/');
    const auto dot = source.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? source.substr(0, dot) : source) + ".xlsx";
}

Result<XlsxExport> ExportToXlsx(const std::string &source, const std::string &target, const std::string &codePage)
{
    XlsxExport result{target.empty() ? xlsxPathBeside(source) : target, 0};
    FileDescriptor file(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        return failure(systemError("cannot open " + source));
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        return failure(systemError("cannot read " + source));
    if (!S_ISREG(info.st_mode))
        return failure("not an ordinary file: " + source);
    if (sameFile(info, result.path))
        return failure("the spreadsheet would replace the file it is made from: " + result.path);

    LineBlocks blocks(file.get());
    const auto utf8 = readsAsUtf8(blocks, source);
    if (!utf8)
        return std::unexpected(utf8.error());
    if (!*utf8 && !decodeText({}, codePage))
        return failure("unknown code page \"" + codePage + "\"");

    Workbook book;
    if (auto opened = book.open(result.path); !opened)
        return std::unexpected(opened.error());

    const bool ruled = endsWithIgnoringCase(source, ".txt");
    std::vector<std::string_view> fields;
    const auto takeLine = [&](std::string_view line) -> Result<void> {
        if (ruled) {
            const RuledLine kind = readRuledLine(line, fields);
            if (kind == RuledLine::Rule || (kind == RuledLine::Other && trimSpaces(line).empty()))
                return {};
            if (kind == RuledLine::Other)
                splitCsvLine(line, fields);
        } else {
            splitCsvLine(line, fields);
        }
        return book.writeRow(result.rows++, fields);
    };

    std::string block;
    bool first = true;
    for (;;) {
        auto more = blocks.next(block, source);
        if (!more)
            return std::unexpected(more.error());
        if (!*more)
            break;
        std::string text;
        if (*utf8) {
            text = isValidUtf8(block) ? std::move(block) : validUtf8(block);
        } else {
            auto decoded = decodeText(block, codePage);
            if (!decoded)
                return std::unexpected(decoded.error());
            text = std::move(*decoded);
        }
        std::string_view rest = text;
        if (first && rest.starts_with(kUtf8Bom))
            rest.remove_prefix(kUtf8Bom.size());
        first = false;
        // Lines end in CR LF as the program writes them; a lone CR or LF ends one too.
        while (!rest.empty()) {
            const auto end = rest.find_first_of("\r\n");
            const std::string_view line = rest.substr(0, end);
            if (auto written = takeLine(line); !written)
                return std::unexpected(written.error());
            if (end == std::string_view::npos)
                break;
            rest.remove_prefix(end + (rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n' ? 2 : 1));
        }
    }

    if (auto finished = book.finish(result.path); !finished)
        return std::unexpected(finished.error());
    return result;
}

}  // namespace tabvoro::capture
