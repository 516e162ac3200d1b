#pragma once

// Naming of output files: a name cut from the page address, a running number, the extension
// of the format.

#include <string>
#include <string_view>

namespace tabvoro::capture {

inline constexpr const char *kOutputPathMessage = "采集表格将保存到此路径:";

// The name cut from a page address: for "http://www.site.com/..." the second host label
// ("site"), in its own letter case. Characters a file name may not hold become "_"; an address
// that does not begin with "http", or from which no name can be cut, gives "data".
std::string outputNameFromUrl(std::string_view url);

// The output path for a page address: outputFolder + name + ".txt" (ruled) or ".csv", made
// unique by UniqueFileName. `outputFolder` ends in "/".
std::string webcbnm(std::string_view url, bool ruled, const std::string &outputFolder);

// A path whose file name has an extension, numbered so that nothing but a folder has that path
// yet (a symbolic link counts, even one that leads nowhere): "a.csv" gives "a1.csv",
// "abc123.csv" gives "abc124.csv", "abc007.csv" gives "abc008.csv" then "abc009.csv",
// "abc0010.csv". A name is cut, at a character's end, to fit in 255 bytes with its number and
// extension. "\\" in the path is taken as "/".
std::string UniqueFileName(const std::string &path);

}  // namespace tabvoro::capture
