// The spreadsheet export of large output files: time and peak memory at 10,000 and 100,000 rows.
// The reference is the program's own pass over the same file when it rewrites it: read it whole,
// decode it from the code page, encode it again and write it through a temporary file, as the
// file commands do. Each side runs in a process of its own, so its peak memory is its own; the
// export's should stay the same at both sizes, the reference's grows with the file.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "capture/output/code_page.h"
#include "capture/output/rewrite_file.h"
#include "capture/output/xlsx_export.h"

extern char **environ;

using namespace tabvoro::capture;

namespace {

constexpr const char *kCodePage = "GB18030";

// A fixed sequence, so every run writes the same file.
struct Random {
    unsigned long long state = 42;
    unsigned next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state >> 33);
    }
};

// An output file as a capture writes it: Chinese names, prices, counts, phone numbers, codes
// with leading zeros, 18-digit IDs and free text, 10 fields a row, in GB18030.
bool writeCsv(const std::string &path, int rows)
{
    static const char *const names[] = {"北京", "上海", "广州", "深圳", "杭州", "南京", "苹果", "香蕉"};
    Random random;
    std::string utf8 = "编号,名称,价格,数量,电话,代码,证件号,备注,日期,比例\r\n";
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < rows; ++i) {
        const unsigned r = random.next();
        utf8 += std::to_string(i + 1) + "," + names[r % 8] + std::to_string(r % 100) + "," +
                std::to_string(r % 100000) + "." + std::to_string(10 + r % 90) + "," + std::to_string(r % 1000) +
                ",138" + std::to_string(10000000 + r % 89999999) + ",0" + std::to_string(r % 1000) + ",1101" +
                std::to_string(10000000000000ULL + r) + ",第" + std::to_string(i) + "行，说明文字" + ",2026-12-" +
                std::to_string(1 + r % 28) + "," + std::to_string(r % 100) + "%\r\n";
        if (utf8.size() > (1 << 20) || i + 1 == rows) {
            out << encodeText(utf8, kCodePage)->bytes;
            utf8.clear();
        }
    }
    return static_cast<bool>(out.flush());
}

int exportFile(const std::string &path)
{
    const auto done = ExportToXlsx(path, "", kCodePage);
    if (!done)
        std::fprintf(stderr, "export: %s\n", done.error().message.c_str());
    return done ? 0 : 1;
}

int resaveFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto text = decodeText(bytes, kCodePage);
    if (!text)
        return 1;
    const auto encoded = encodeText(*text, kCodePage);
    return encoded && replaceFile(path + ".copy", encoded->bytes) ? 0 : 1;
}

struct Measure {
    double seconds = 0;
    long peakKb = 0;
    bool ok = false;
};

// This program again, as a child doing one side's work alone.
Measure inChild(const char *self, const char *side, const std::string &path)
{
    char *argv[] = {const_cast<char *>(self), const_cast<char *>(side), const_cast<char *>(path.c_str()), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    Measure m;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ) != 0)
        return m;
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid)
        return m;
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.peakKb = usage.ru_maxrss;
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

Measure fastest(const char *self, const char *side, const std::string &path, int runs)
{
    Measure best;
    for (int i = 0; i < runs; ++i) {
        const Measure m = inChild(self, side, path);
        if (!m.ok)
            return m;
        if (i == 0 || m.seconds < best.seconds)
            best.seconds = m.seconds;
        best.peakKb = std::max(best.peakKb, m.peakKb);
        best.ok = true;
    }
    return best;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "export") == 0)
        return exportFile(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "resave") == 0)
        return resaveFile(argv[2]);

    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    char folder[] = "/tmp/tabvoro-xlsx-bench-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    std::printf("reference: read, decode, re-encode and rewrite the same file (GB18030), fastest of %d\n", runs);
    long peak10k = 0;
    for (const int rows : {10000, 100000}) {
        const std::string csv = std::string(folder) + "/rows" + std::to_string(rows) + ".csv";
        if (!writeCsv(csv, rows))
            return 1;
        const Measure exported = fastest(argv[0], "export", csv, runs);
        const Measure reference = fastest(argv[0], "resave", csv, runs);
        if (!exported.ok || !reference.ok) {
            std::fprintf(stderr, "a run failed\n");
            return 1;
        }
        std::printf("%6d rows  export %.2fs %ldMB  reference %.2fs %ldMB  time ratio %.1fx%s\n", rows,
                    exported.seconds, exported.peakKb / 1024, reference.seconds, reference.peakKb / 1024,
                    exported.seconds / reference.seconds,
                    rows == 100000 && exported.seconds >= 10 ? "  (target missed: under 10 s)" : "");
        if (rows == 10000)
            peak10k = exported.peakKb;
        else
            std::printf("export peak memory 100k ÷ 10k rows: %.2fx\n", static_cast<double>(exported.peakKb) / peak10k);
    }
    std::string clean = std::string("rm -rf ") + folder;
    return std::system(clean.c_str()) == 0 ? 0 : 1;
}
