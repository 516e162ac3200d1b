#include "capture/document/web_encoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include <iconv.h>

#include "capture/output/code_page.h"
#include "capture/text_rules.h"

namespace tabvoro::capture::html {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Label {
    std::string_view label;
    std::string_view encoding;
};

// Every label of the Encoding Standard with the encoding it names.
constexpr Label kLabels[] = {
    {"unicode-1-1-utf-8", "utf-8"}, {"unicode11utf8", "utf-8"}, {"unicode20utf8", "utf-8"},
    {"utf-8", "utf-8"}, {"utf8", "utf-8"}, {"x-unicode20utf8", "utf-8"},
    {"866", "ibm866"}, {"cp866", "ibm866"}, {"csibm866", "ibm866"}, {"ibm866", "ibm866"},
    {"csisolatin2", "iso-8859-2"}, {"iso-8859-2", "iso-8859-2"}, {"iso-ir-101", "iso-8859-2"},
    {"iso8859-2", "iso-8859-2"}, {"iso88592", "iso-8859-2"}, {"iso_8859-2", "iso-8859-2"},
    {"iso_8859-2:1987", "iso-8859-2"}, {"l2", "iso-8859-2"}, {"latin2", "iso-8859-2"},
    {"csisolatin3", "iso-8859-3"}, {"iso-8859-3", "iso-8859-3"}, {"iso-ir-109", "iso-8859-3"},
    {"iso8859-3", "iso-8859-3"}, {"iso88593", "iso-8859-3"}, {"iso_8859-3", "iso-8859-3"},
    {"iso_8859-3:1988", "iso-8859-3"}, {"l3", "iso-8859-3"}, {"latin3", "iso-8859-3"},
    {"csisolatin4", "iso-8859-4"}, {"iso-8859-4", "iso-8859-4"}, {"iso-ir-110", "iso-8859-4"},
    {"iso8859-4", "iso-8859-4"}, {"iso88594", "iso-8859-4"}, {"iso_8859-4", "iso-8859-4"},
    {"iso_8859-4:1988", "iso-8859-4"}, {"l4", "iso-8859-4"}, {"latin4", "iso-8859-4"},
    {"csisolatincyrillic", "iso-8859-5"}, {"cyrillic", "iso-8859-5"}, {"iso-8859-5", "iso-8859-5"},
    {"iso-ir-144", "iso-8859-5"}, {"iso8859-5", "iso-8859-5"}, {"iso88595", "iso-8859-5"},
    {"iso_8859-5", "iso-8859-5"}, {"iso_8859-5:1988", "iso-8859-5"},
    {"arabic", "iso-8859-6"}, {"asmo-708", "iso-8859-6"}, {"csiso88596e", "iso-8859-6"},
    {"csiso88596i", "iso-8859-6"}, {"csisolatinarabic", "iso-8859-6"}, {"ecma-114", "iso-8859-6"},
    {"iso-8859-6", "iso-8859-6"}, {"iso-8859-6-e", "iso-8859-6"}, {"iso-8859-6-i", "iso-8859-6"},
    {"iso-ir-127", "iso-8859-6"}, {"iso8859-6", "iso-8859-6"}, {"iso88596", "iso-8859-6"},
    {"iso_8859-6", "iso-8859-6"}, {"iso_8859-6:1987", "iso-8859-6"},
    {"csisolatingreek", "iso-8859-7"}, {"ecma-118", "iso-8859-7"}, {"elot_928", "iso-8859-7"},
    {"greek", "iso-8859-7"}, {"greek8", "iso-8859-7"}, {"iso-8859-7", "iso-8859-7"},
    {"iso-ir-126", "iso-8859-7"}, {"iso8859-7", "iso-8859-7"}, {"iso88597", "iso-8859-7"},
    {"iso_8859-7", "iso-8859-7"}, {"iso_8859-7:1987", "iso-8859-7"}, {"sun_eu_greek", "iso-8859-7"},
    {"csiso88598e", "iso-8859-8"}, {"csisolatinhebrew", "iso-8859-8"}, {"hebrew", "iso-8859-8"},
    {"iso-8859-8", "iso-8859-8"}, {"iso-8859-8-e", "iso-8859-8"}, {"iso-ir-138", "iso-8859-8"},
    {"iso8859-8", "iso-8859-8"}, {"iso88598", "iso-8859-8"}, {"iso_8859-8", "iso-8859-8"},
    {"iso_8859-8:1988", "iso-8859-8"}, {"visual", "iso-8859-8"},
    {"csiso88598i", "iso-8859-8-i"}, {"iso-8859-8-i", "iso-8859-8-i"}, {"logical", "iso-8859-8-i"},
    {"csisolatin6", "iso-8859-10"}, {"iso-8859-10", "iso-8859-10"}, {"iso-ir-157", "iso-8859-10"},
    {"iso8859-10", "iso-8859-10"}, {"iso885910", "iso-8859-10"}, {"l6", "iso-8859-10"},
    {"latin6", "iso-8859-10"},
    {"iso-8859-13", "iso-8859-13"}, {"iso8859-13", "iso-8859-13"}, {"iso885913", "iso-8859-13"},
    {"iso-8859-14", "iso-8859-14"}, {"iso8859-14", "iso-8859-14"}, {"iso885914", "iso-8859-14"},
    {"csisolatin9", "iso-8859-15"}, {"iso-8859-15", "iso-8859-15"}, {"iso8859-15", "iso-8859-15"},
    {"iso885915", "iso-8859-15"}, {"iso_8859-15", "iso-8859-15"}, {"l9", "iso-8859-15"},
    {"iso-8859-16", "iso-8859-16"},
    {"cskoi8r", "koi8-r"}, {"koi", "koi8-r"}, {"koi8", "koi8-r"}, {"koi8-r", "koi8-r"}, {"koi8_r", "koi8-r"},
    {"koi8-ru", "koi8-u"}, {"koi8-u", "koi8-u"},
    {"csmacintosh", "macintosh"}, {"mac", "macintosh"}, {"macintosh", "macintosh"}, {"x-mac-roman", "macintosh"},
    {"dos-874", "windows-874"}, {"iso-8859-11", "windows-874"}, {"iso8859-11", "windows-874"},
    {"iso885911", "windows-874"}, {"tis-620", "windows-874"}, {"windows-874", "windows-874"},
    {"cp1250", "windows-1250"}, {"windows-1250", "windows-1250"}, {"x-cp1250", "windows-1250"},
    {"cp1251", "windows-1251"}, {"windows-1251", "windows-1251"}, {"x-cp1251", "windows-1251"},
    {"ansi_x3.4-1968", "windows-1252"}, {"ascii", "windows-1252"}, {"cp1252", "windows-1252"},
    {"cp819", "windows-1252"}, {"csisolatin1", "windows-1252"}, {"ibm819", "windows-1252"},
    {"iso-8859-1", "windows-1252"}, {"iso-ir-100", "windows-1252"}, {"iso8859-1", "windows-1252"},
    {"iso88591", "windows-1252"}, {"iso_8859-1", "windows-1252"}, {"iso_8859-1:1987", "windows-1252"},
    {"l1", "windows-1252"}, {"latin1", "windows-1252"}, {"us-ascii", "windows-1252"},
    {"windows-1252", "windows-1252"}, {"x-cp1252", "windows-1252"},
    {"cp1253", "windows-1253"}, {"windows-1253", "windows-1253"}, {"x-cp1253", "windows-1253"},
    {"cp1254", "windows-1254"}, {"csisolatin5", "windows-1254"}, {"iso-8859-9", "windows-1254"},
    {"iso-ir-148", "windows-1254"}, {"iso8859-9", "windows-1254"}, {"iso88599", "windows-1254"},
    {"iso_8859-9", "windows-1254"}, {"iso_8859-9:1989", "windows-1254"}, {"l5", "windows-1254"},
    {"latin5", "windows-1254"}, {"windows-1254", "windows-1254"}, {"x-cp1254", "windows-1254"},
    {"cp1255", "windows-1255"}, {"windows-1255", "windows-1255"}, {"x-cp1255", "windows-1255"},
    {"cp1256", "windows-1256"}, {"windows-1256", "windows-1256"}, {"x-cp1256", "windows-1256"},
    {"cp1257", "windows-1257"}, {"windows-1257", "windows-1257"}, {"x-cp1257", "windows-1257"},
    {"cp1258", "windows-1258"}, {"windows-1258", "windows-1258"}, {"x-cp1258", "windows-1258"},
    {"x-mac-cyrillic", "x-mac-cyrillic"}, {"x-mac-ukrainian", "x-mac-cyrillic"},
    {"chinese", "gbk"}, {"csgb2312", "gbk"}, {"csiso58gb231280", "gbk"}, {"gb2312", "gbk"},
    {"gb_2312", "gbk"}, {"gb_2312-80", "gbk"}, {"gbk", "gbk"}, {"iso-ir-58", "gbk"}, {"x-gbk", "gbk"},
    {"gb18030", "gb18030"},
    {"big5", "big5"}, {"big5-hkscs", "big5"}, {"cn-big5", "big5"}, {"csbig5", "big5"}, {"x-x-big5", "big5"},
    {"cseucpkdfmtjapanese", "euc-jp"}, {"euc-jp", "euc-jp"}, {"x-euc-jp", "euc-jp"},
    {"csiso2022jp", "iso-2022-jp"}, {"iso-2022-jp", "iso-2022-jp"},
    {"csshiftjis", "shift_jis"}, {"ms932", "shift_jis"}, {"ms_kanji", "shift_jis"}, {"shift-jis", "shift_jis"},
    {"shift_jis", "shift_jis"}, {"sjis", "shift_jis"}, {"windows-31j", "shift_jis"}, {"x-sjis", "shift_jis"},
    {"cseuckr", "euc-kr"}, {"csksc56011987", "euc-kr"}, {"euc-kr", "euc-kr"}, {"iso-ir-149", "euc-kr"},
    {"korean", "euc-kr"}, {"ks_c_5601-1987", "euc-kr"}, {"ks_c_5601-1989", "euc-kr"}, {"ksc5601", "euc-kr"},
    {"ksc_5601", "euc-kr"}, {"windows-949", "euc-kr"},
    {"csiso2022kr", "replacement"}, {"hz-gb-2312", "replacement"}, {"iso-2022-cn", "replacement"},
    {"iso-2022-cn-ext", "replacement"}, {"iso-2022-kr", "replacement"}, {"replacement", "replacement"},
    {"unicodefffe", "utf-16be"}, {"utf-16be", "utf-16be"},
    {"csunicode", "utf-16le"}, {"iso-10646-ucs-2", "utf-16le"}, {"ucs-2", "utf-16le"}, {"unicode", "utf-16le"},
    {"unicodefeff", "utf-16le"}, {"utf-16", "utf-16le"}, {"utf-16le", "utf-16le"},
    {"x-user-defined", "x-user-defined"},
};

// The iconv encodings that read as the web's do; the web's big5 is Big5 with the Hong Kong
// additions, its shift_jis and euc-kr the Windows code pages that extend them.
constexpr std::pair<std::string_view, std::string_view> kIconvNames[] = {
    {"utf-8", "UTF-8"}, {"ibm866", "IBM866"}, {"iso-8859-8-i", "ISO-8859-8"}, {"macintosh", "MACINTOSH"},
    {"windows-874", "WINDOWS-874"}, {"x-mac-cyrillic", "MAC-CYRILLIC"}, {"gbk", "GB18030"},
    {"gb18030", "GB18030"}, {"big5", "BIG5-HKSCS"}, {"shift_jis", "CP932"}, {"euc-kr", "CP949"},
    {"utf-16be", "UTF-16BE"}, {"utf-16le", "UTF-16LE"}, {"windows-1252", "CP1252"},
};

// Bytes 0x80 to 0x9F of windows-1252; from 0xA0 on it is Latin-1.
constexpr std::array<char16_t, 32> kWindows1252 = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178,
};

// ---- gb18030 (GBK is read with the same decoder)

constexpr std::size_t kTwoBytePointers = 126 * 190;

// The two-byte codes as glibc's GB18030 maps them, which is the web's mapping except for six
// codes glibc gives characters outside the BMP that the web keeps in the private use area.
const std::vector<char32_t> &twoByteIndex()
{
    static const std::vector<char32_t> index = [] {
        constexpr std::pair<std::uint16_t, char32_t> kWebMappings[] = {
            {0xFE51, 0xE816}, {0xFE52, 0xE817}, {0xFE53, 0xE818},
            {0xFE6C, 0xE831}, {0xFE76, 0xE83B}, {0xFE91, 0xE855},
        };
        std::vector<char32_t> codes(kTwoBytePointers, 0);
        const iconv_t cd = iconv_open("UTF-32LE", "GB18030");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return codes;
        for (std::size_t pointer = 0; pointer < kTwoBytePointers; ++pointer) {
            const std::size_t trail = pointer % 190;
            char in[2] = {static_cast<char>(0x81 + pointer / 190), static_cast<char>(trail + (trail < 0x3F ? 0x40 : 0x41))};
            char out[8];
            char *inPtr = in;
            char *outPtr = out;
            std::size_t inLeft = sizeof in;
            std::size_t outLeft = sizeof out;
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) && outLeft == 4) {
                std::uint32_t cp;
                std::memcpy(&cp, out, 4);
                codes[pointer] = cp;
            }
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        iconv_close(cd);
        for (const auto &[code, cp] : kWebMappings)
            codes[static_cast<std::size_t>((code >> 8) - 0x81) * 190 + (code & 0xFF) - ((code & 0xFF) < 0x7F ? 0x40 : 0x41)] = cp;
        return codes;
    }();
    return index;
}

// The four-byte codes of the BMP: each range starts at a pointer with a code point and runs on
// one by one to the next range.
constexpr std::pair<std::uint32_t, char16_t> kFourByteRanges[] = {
    {0, 0x0080},     {36, 0x00A5},    {38, 0x00A9},    {45, 0x00B2},    {50, 0x00B8},    {81, 0x00D8},
    {89, 0x00E2},    {95, 0x00EB},    {96, 0x00EE},    {100, 0x00F4},   {103, 0x00F8},   {104, 0x00FB},
    {105, 0x00FD},   {109, 0x0102},   {126, 0x0114},   {133, 0x011C},   {148, 0x012C},   {172, 0x0145},
    {175, 0x0149},   {179, 0x014E},   {208, 0x016C},   {306, 0x01CF},   {307, 0x01D1},   {308, 0x01D3},
    {309, 0x01D5},   {310, 0x01D7},   {311, 0x01D9},   {312, 0x01DB},   {313, 0x01DD},   {341, 0x01FA},
    {428, 0x0252},   {443, 0x0262},   {544, 0x02C8},   {545, 0x02CC},   {558, 0x02DA},   {741, 0x03A2},
    {742, 0x03AA},   {749, 0x03C2},   {750, 0x03CA},   {805, 0x0402},   {819, 0x0450},   {820, 0x0452},
    {7922, 0x2011},  {7924, 0x2017},  {7925, 0x201A},  {7927, 0x201E},  {7934, 0x2027},  {7943, 0x2031},
    {7944, 0x2034},  {7945, 0x2036},  {7950, 0x203C},  {8062, 0x20AD},  {8148, 0x2104},  {8149, 0x2106},
    {8152, 0x210A},  {8164, 0x2117},  {8174, 0x2122},  {8236, 0x216C},  {8240, 0x217A},  {8262, 0x2194},
    {8264, 0x219A},  {8374, 0x2209},  {8380, 0x2210},  {8381, 0x2212},  {8384, 0x2216},  {8388, 0x221B},
    {8390, 0x2221},  {8392, 0x2224},  {8393, 0x2226},  {8394, 0x222C},  {8396, 0x222F},  {8401, 0x2238},
    {8406, 0x223E},  {8416, 0x2249},  {8419, 0x224D},  {8424, 0x2253},  {8437, 0x2262},  {8439, 0x2268},
    {8445, 0x2270},  {8482, 0x2296},  {8485, 0x229A},  {8496, 0x22A6},  {8521, 0x22C0},  {8603, 0x2313},
    {8936, 0x246A},  {8946, 0x249C},  {9046, 0x254C},  {9050, 0x2574},  {9063, 0x2590},  {9066, 0x2596},
    {9076, 0x25A2},  {9092, 0x25B4},  {9100, 0x25BE},  {9108, 0x25C8},  {9111, 0x25CC},  {9113, 0x25D0},
    {9131, 0x25E6},  {9162, 0x2607},  {9164, 0x260A},  {9218, 0x2641},  {9219, 0x2643},  {11329, 0x2E82},
    {11331, 0x2E85}, {11334, 0x2E89}, {11336, 0x2E8D}, {11346, 0x2E98}, {11361, 0x2EA8}, {11363, 0x2EAB},
    {11366, 0x2EAF}, {11370, 0x2EB4}, {11372, 0x2EB8}, {11375, 0x2EBC}, {11389, 0x2ECB}, {11682, 0x2FFC},
    {11686, 0x3004}, {11687, 0x3018}, {11692, 0x301F}, {11694, 0x302A}, {11714, 0x303F}, {11716, 0x3094},
    {11723, 0x309F}, {11725, 0x30F7}, {11730, 0x30FF}, {11736, 0x312A}, {11982, 0x322A}, {11989, 0x3232},
    {12102, 0x32A4}, {12336, 0x3390}, {12348, 0x339F}, {12350, 0x33A2}, {12384, 0x33C5}, {12393, 0x33CF},
    {12395, 0x33D3}, {12397, 0x33D6}, {12510, 0x3448}, {12553, 0x3474}, {12851, 0x359F}, {12962, 0x360F},
    {12973, 0x361B}, {13738, 0x3919}, {13823, 0x396F}, {13919, 0x39D1}, {13933, 0x39E0}, {14080, 0x3A74},
    {14298, 0x3B4F}, {14585, 0x3C6F}, {14698, 0x3CE1}, {15583, 0x4057}, {15847, 0x4160}, {16318, 0x4338},
    {16434, 0x43AD}, {16438, 0x43B2}, {16481, 0x43DE}, {16729, 0x44D7}, {17102, 0x464D}, {17122, 0x4662},
    {17315, 0x4724}, {17320, 0x472A}, {17402, 0x477D}, {17418, 0x478E}, {17859, 0x4948}, {17909, 0x497B},
    {17911, 0x497E}, {17915, 0x4984}, {17916, 0x4987}, {17936, 0x499C}, {17939, 0x49A0}, {17961, 0x49B8},
    {18664, 0x4C78}, {18703, 0x4CA4}, {18814, 0x4D1A}, {18962, 0x4DAF}, {19043, 0x9FA6}, {33469, 0xE76C},
    {33470, 0xE7C8}, {33471, 0xE7E7}, {33484, 0xE815}, {33485, 0xE819}, {33490, 0xE81F}, {33497, 0xE827},
    {33501, 0xE82D}, {33505, 0xE833}, {33513, 0xE83C}, {33520, 0xE844}, {33536, 0xE856}, {33550, 0xE865},
    {37845, 0xF92D}, {37921, 0xF97A}, {37948, 0xF996}, {38029, 0xF9E8}, {38038, 0xF9F2}, {38064, 0xFA10},
    {38065, 0xFA12}, {38066, 0xFA15}, {38069, 0xFA19}, {38075, 0xFA22}, {38076, 0xFA25}, {38078, 0xFA2A},
    {39108, 0xFE32}, {39109, 0xFE45}, {39113, 0xFE53}, {39114, 0xFE58}, {39115, 0xFE67}, {39116, 0xFE6C},
    {39265, 0xFF5F}, {39394, 0xFFE6},
};

constexpr std::uint32_t kLastBmpPointer = 39419;
constexpr std::uint32_t kFirstSupplementaryPointer = 189000;
constexpr std::uint32_t kLastSupplementaryPointer = 1237575;

std::optional<char32_t> fourByteCodePoint(std::uint32_t pointer)
{
    // The one code whose character moved to a two-byte code (0xA8BC) when the standard was revised.
    if (pointer == 7457)
        return 0xE7C7;
    if (pointer >= kFirstSupplementaryPointer && pointer <= kLastSupplementaryPointer)
        return 0x10000 + (pointer - kFirstSupplementaryPointer);
    if (pointer > kLastBmpPointer)
        return std::nullopt;
    const auto after = std::upper_bound(std::begin(kFourByteRanges), std::end(kFourByteRanges), pointer,
                                        [](std::uint32_t p, const auto &range) { return p < range.first; });
    const auto &range = *(after - 1);
    return static_cast<char32_t>(range.second + (pointer - range.first));
}

bool inRange(unsigned char byte, unsigned char low, unsigned char high) { return byte >= low && byte <= high; }

// The gb18030 decoder of the Encoding Standard. A byte that cannot go on a sequence ends it as
// one U+FFFD and is read again, unless the standard takes it into the bad sequence.
std::string decodeGb18030(std::string_view text)
{
    const auto &index = twoByteIndex();
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    const std::size_t n = text.size();
    std::size_t i = 0;
    auto byteAt = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    while (i < n) {
        const unsigned char first = byteAt(i);
        if (first < 0x80) {
            out.push_back(static_cast<char>(first));
            ++i;
            continue;
        }
        if (first == 0x80 || first == 0xFF) {
            appendUtf8(first == 0x80 ? 0x20AC : kReplacement, out);
            ++i;
            continue;
        }
        if (i + 1 >= n) {
            appendUtf8(kReplacement, out);
            break;
        }
        const unsigned char second = byteAt(i + 1);
        if (inRange(second, 0x30, 0x39)) {
            if (i + 2 >= n || (inRange(byteAt(i + 2), 0x81, 0xFE) && i + 3 >= n)) {
                appendUtf8(kReplacement, out);  // a sequence the text ends in the middle of
                break;
            }
            const unsigned char third = byteAt(i + 2);
            const unsigned char fourth = i + 3 < n ? byteAt(i + 3) : 0;
            if (!inRange(third, 0x81, 0xFE) || !inRange(fourth, 0x30, 0x39)) {
                appendUtf8(kReplacement, out);
                ++i;
                continue;
            }
            const std::uint32_t pointer = (first - 0x81) * 12600u + (second - 0x30) * 1260u + (third - 0x81) * 10u +
                                          (fourth - 0x30);
            appendUtf8(fourByteCodePoint(pointer).value_or(kReplacement), out);
            i += 4;
            continue;
        }
        const bool trail = inRange(second, 0x40, 0x7E) || inRange(second, 0x80, 0xFE);
        const char32_t cp = trail ? index[(first - 0x81) * 190u + second - (second < 0x7F ? 0x40 : 0x41)] : 0;
        if (cp != 0) {
            appendUtf8(cp, out);
            i += 2;
            continue;
        }
        appendUtf8(kReplacement, out);
        // An ASCII byte after a lead byte is read again as itself.
        i += second < 0x80 ? 1 : 2;
    }
    return out;
}

std::string decodeWindows1252(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (const char c : text)
        appendUtf8(windows1252CodePoint(static_cast<unsigned char>(c)), out);
    return out;
}

// Bytes of an encoding a page uses for binary data: ASCII as ASCII, every other byte a
// character of the private use area.
std::string decodeUserDefined(std::string_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        appendUtf8(byte < 0x80 ? byte : 0xF780 + byte - 0x80, out);
    }
    return out;
}

}  // namespace

std::optional<std::string_view> encodingForLabel(std::string_view label)
{
    // The blanks the standard strips: tab, line feed, form feed, carriage return and space.
    constexpr std::string_view kBlanks = "\t\n\f\r ";
    const auto first = label.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return std::nullopt;
    const std::string lower = asciiLower(label.substr(first, label.find_last_not_of(kBlanks) + 1 - first));
    for (const auto &entry : kLabels)
        if (entry.label == lower)
            return entry.encoding;
    return std::nullopt;
}

std::string iconvName(std::string_view encoding)
{
    for (const auto &[name, iconv] : kIconvNames)
        if (name == encoding)
            return std::string(iconv);
    if (encoding.starts_with("windows-125"))
        return "CP" + std::string(encoding.substr(8));
    return asciiUpper(encoding);
}

std::string decodeWebText(std::string_view bytes, std::string_view encoding)
{
    if (encoding == "utf-8")
        return validUtf8(bytes);
    if (encoding == "windows-1252")
        return decodeWindows1252(bytes);
    if (encoding == "gbk" || encoding == "gb18030")
        return decodeGb18030(bytes);
    if (encoding == "x-user-defined")
        return decodeUserDefined(bytes);
    // Encodings that can smuggle markup past a filter: browsers show their text as one U+FFFD.
    if (encoding == "replacement")
        return bytes.empty() ? std::string() : std::string("\uFFFD");
    auto text = decodeText(bytes, iconvName(encoding));
    return text ? std::move(*text) : validUtf8(bytes);
}

char32_t windows1252CodePoint(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252[byte - 0x80] : byte;
}

}  // namespace tabvoro::capture::html
