// Output names: a page address line, then a path. Names are made in a folder that does not
// exist, so that nothing on the machine takes a name and nothing is written.

#include "fuzz_support.h"

#include "capture/output/output_name.h"

namespace tabvoro::fuzz {

using namespace capture;

namespace {

constexpr std::string_view kFolder = "/nonexistent-tabvoro-fuzz/download/";

std::string_view fileNameOf(std::string_view path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

void outputName(std::string_view input)
{
    const auto [url, path] = splitAtNewline(input);
    const std::string name = outputNameFromUrl(url);
    expect(!name.empty() && name.find('/') == std::string::npos && name.front() != '.',
           "a name cut from an address is a file name that shows");

    for (const bool ruled : {false, true}) {
        const std::string made = webcbnm(url, ruled, std::string(kFolder));
        expect(made.starts_with(kFolder), "the output file is in the output folder");
        expect(made.ends_with(ruled ? ".txt" : ".csv"), "the extension follows the format");
        expect(fileNameOf(made).size() <= 255, "an output name fits in 255 bytes");
    }

    const std::string asked = std::string(kFolder) + std::string(path);
    const std::string numbered = UniqueFileName(asked);
    const std::string_view original = fileNameOf(asked);
    const auto dot = original.rfind('.');
    const std::size_t extension = dot == std::string_view::npos ? 0 : original.size() - dot;
    if (extension < 200 && path.find('\\') == std::string_view::npos)
        expect(fileNameOf(numbered).size() <= 255, "a numbered name fits in 255 bytes");
}

}  // namespace tabvoro::fuzz
