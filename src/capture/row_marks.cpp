#include "capture/row_marks.h"

namespace tabvoro::capture {

namespace {

// Two independent 64-bit hashes of one pass: FNV-1a and a multiply-rotate hash with a
// different seed. Two rows taken for one need both to collide.
std::pair<std::uint64_t, std::uint64_t> hashRow(std::string_view row)
{
    std::uint64_t fnv = 0xcbf29ce484222325ULL;
    std::uint64_t mix = 0x9e3779b97f4a7c15ULL ^ row.size();
    for (const char c : row) {
        const auto byte = static_cast<unsigned char>(c);
        fnv = (fnv ^ byte) * 0x100000001b3ULL;
        mix = (mix ^ byte) * 0xff51afd7ed558ccdULL;
        mix = (mix << 31) | (mix >> 33);
    }
    mix ^= mix >> 33;
    mix *= 0xc4ceb9fe1a85ec53ULL;
    mix ^= mix >> 33;
    return {fnv, mix};
}

}  // namespace

std::string_view rowKey(std::string_view line)
{
    while (!line.empty() && line.back() == ',')
        line.remove_suffix(1);
    return line;
}

bool RowMarks::insert(std::string_view row)
{
    const auto [a, b] = hashRow(rowKey(row));
    return m_marks.insert({a, b}).second;
}

}  // namespace tabvoro::capture
