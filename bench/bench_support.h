#pragma once

// What the window benchmarks share: repeatable page content, files, and waiting out deletions.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tabvoro::bench {

// A fixed sequence, so every run and machine loads the same bytes.
struct Random {
    std::uint64_t state;
    std::uint32_t next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state >> 33);
    }
    int between(int low, int high) { return low + static_cast<int>(next() % static_cast<std::uint32_t>(high - low + 1)); }
    template <std::size_t N>
    const char *pick(const char *const (&list)[N]) { return list[next() % N]; }
};

// A whole number with thousands separators, as pages print them ("12,345").
std::string grouped(long long n);

bool writeFile(const QString &path, const QByteArray &bytes);

// The lines of an output file; -1 when it cannot be read.
long long countLines(const QString &path);

// Lets the objects deleted later go now, so that one measurement does not pay for the last.
void flushDeletes();

}  // namespace tabvoro::bench
