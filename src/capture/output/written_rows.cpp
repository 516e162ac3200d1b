#include "capture/output/written_rows.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "capture/output/code_page.h"
#include "capture/output/spreadsheet_cells.h"

namespace tabvoro::capture {

namespace {

void appendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// `row` with each "&#xHEX;" the writer put for a character the code page lacks turned back into
// that character.
std::string withCharacters(std::string_view row)
{
    std::string out;
    out.reserve(row.size());
    while (!row.empty()) {
        const std::size_t at = row.find("&#x");
        const std::size_t end = at == std::string_view::npos ? at : row.find(';', at + 3);
        char32_t cp = 0;
        bool hex = end != std::string_view::npos && end > at + 3 && end - at - 3 <= 6;
        for (std::size_t i = at + 3; hex && i < end; ++i) {
            const char c = row[i];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            hex = digit >= 0;
            cp = cp * 16 + static_cast<char32_t>(digit);
        }
        if (!hex || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            const std::size_t upTo = at == std::string_view::npos ? row.size() : at + 3;
            out.append(row.substr(0, upTo));
            row.remove_prefix(upTo);
            continue;
        }
        out.append(row.substr(0, at));
        appendUtf8(out, cp);
        row.remove_prefix(end + 1);
    }
    return out;
}

void markRow(std::string_view row, RowMarks &marks)
{
    marks.insert(row);
    if (row.find("&#x") != std::string_view::npos)
        marks.insert(withCharacters(row));
}

}  // namespace

Result<void> markRowsOfFile(const std::string &path, const std::string &codePage, bool ruled, RowMarks &marks)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return {};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return failure("无法读取 " + path);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return failure("无法读取 " + path);
    const auto text = decodeFileText(bytes, codePage);
    if (!text)
        return std::unexpected(text.error());
    std::string_view rest = *text;
    std::vector<std::string_view> cells;
    std::string joined;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (!ruled) {
            markRow(line, marks);
            continue;
        }
        // A code page without the box-drawing characters holds the bars as references too.
        const bool referenced = line.find("&#x") != std::string_view::npos;
        const std::string characters = referenced ? withCharacters(line) : std::string();
        for (const std::string_view form : {line, std::string_view(characters)}) {
            if (form.empty() || readRuledLine(form, cells) != RuledLine::Cells)
                continue;
            joined.clear();
            for (std::size_t i = 0; i < cells.size(); ++i) {
                if (i > 0)
                    joined += ',';
                joined.append(cells[i]);
            }
            markRow(joined, marks);
        }
    }
    return {};
}

}  // namespace tabvoro::capture
