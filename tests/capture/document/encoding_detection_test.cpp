#include "capture/document/encoding_detection.h"

#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>

#include "capture/document/html_charset.h"
#include "capture/output/code_page.h"
#include "test_support.h"

namespace tabvoro::capture::html {
namespace {

const std::filesystem::path kEncodings = std::filesystem::path(TABVORO_FIXTURES) / "encodings";

std::string encoded(const std::string &utf8, const std::string &codePage)
{
    return encodeText(utf8, codePage).value().bytes;
}

std::string page(const std::string &body) { return "<html><body><table><tr><td>" + body + "</td></tr></table></body></html>"; }

// Sets TABVORO_CODEPAGE for the life of the object.
class CodePage {
public:
    explicit CodePage(const char *value)
    {
        if (const char *old = std::getenv("TABVORO_CODEPAGE"))
            m_old = old;
        setenv("TABVORO_CODEPAGE", value, 1);
    }
    ~CodePage()
    {
        if (m_old)
            setenv("TABVORO_CODEPAGE", m_old->c_str(), 1);
        else
            unsetenv("TABVORO_CODEPAGE");
    }

private:
    std::optional<std::string> m_old;
};

TEST(EncodingDetection, UnlabeledPagesAsTheirBytesShow)
{
    const struct {
        const char *what;
        std::string bytes;
        const char *name;
        const char *decoder;
    } cases[] = {
        {"UTF-8", page("município Álvaro 北京"), "utf-8", "UTF-8"},
        {"ASCII", page("plain"), "utf-8", "UTF-8"},
        {"GBK", page(encoded("根据第七次全国人口普查结果，现将各地区常住人口数据公布如下。", "GBK")), "gb18030", "GB18030"},
        {"Big5", page(encoded("內政部戶政司公布各縣市戶籍登記人口數及土地面積。", "BIG5")), "big5", "BIG5-HKSCS"},
        {"Shift_JIS", page(encoded("東京都の人口は約千四百万人で、日本の総人口の約一割を占めています。", "SHIFT_JIS")),
         "shift_jis", "CP932"},
        {"EUC-KR", page(encoded("서울특별시의 인구는 약 구백오십만 명으로 가장 많은 인구가 거주하는 도시입니다.", "CP949")),
         "euc-kr", "CP949"},
        {"windows-1251", page(encoded("Население Москвы составляет около тринадцати миллионов человек.", "WINDOWS-1251")),
         "windows-1251", "CP1251"},
        // Latin-1 is read as windows-1252, Latin-5 as windows-1254, as a browser reads them.
        {"Latin-1", page(encoded("O município de São Paulo é o mais populoso do Brasil; Maricá, Araxá.", "ISO-8859-1")),
         "windows-1252", "CP1252"},
        {"Latin-5", page(encoded("Türkiye'nin en kalabalık şehirleri İstanbul, Ankara ve İzmir'dir; nüfus sayımı "
                                    "sonuçlarına göre İstanbul'un nüfusu on beş milyonu aşmıştır.", "ISO-8859-9")),
         "windows-1254", "CP1254"},
        // Too short for the detector, which takes 中 for Cyrillic: the code page reads it.
        {"two bytes of GBK", page("\xD6\xD0"), "gb18030", "GB18030"},
        {"one accented letter the code page reads", page("S\xE3o"), "gb18030", "GB18030"},
        // A sentence the code page reads whole (every accent before a letter), too short to be
        // sure of: the code page's reading.
        {"short Latin-5", page(encoded("Türkiye'nin en kalabalık şehirleri İstanbul'dur.", "ISO-8859-9")), "gb18030",
         "GB18030"},
    };
    for (const auto &c : cases) {
        const PageEncoding encoding = detectUnlabeledEncoding(c.bytes);
        EXPECT_EQ(encoding.name, c.name) << c.what;
        EXPECT_EQ(encoding.decoder, c.decoder) << c.what;
        EXPECT_FALSE(encoding.labeled) << c.what;
    }

    // Where the code page cannot read a short text (é before "<" is no GB18030 character), the
    // detector's guess stands: a single-byte Latin encoding, any of which reads "café" alike.
    const std::string cafe = page("caf\xE9");
    const PageEncoding latin = detectUnlabeledEncoding(cafe);
    EXPECT_NE(latin.decoder, "GB18030");
    EXPECT_EQ(pageTextAsUtf8(cafe), page("café"));
}

TEST(EncodingDetection, FallbackIsTheCodePagesEncoding)
{
    const std::string shortGbk = page("\xD6\xD0");
    {
        const CodePage gbk("GBK");
        EXPECT_EQ(detectUnlabeledEncoding(shortGbk).decoder, "GB18030");
    }
    {
        // Bytes that get this far are not UTF-8: a UTF-8 code page falls back to windows-1252.
        const CodePage utf8("UTF-8");
        EXPECT_EQ(detectUnlabeledEncoding(shortGbk).name, "windows-1252");
        const CodePage cyrillic("WINDOWS-1251");
        EXPECT_EQ(detectUnlabeledEncoding(page("\xCC\xEE")).decoder, "CP1251");
    }
}

TEST(EncodingDetection, LabelsComeBeforeDetection)
{
    const std::string gbkText = encoded("根据第七次全国人口普查结果，现将各地区常住人口数据公布如下。", "GBK");
    const std::string meta = "<meta charset=\"big5\">" + page(gbkText);
    const struct {
        const char *what;
        std::string bytes;
        const char *header;
        const char *name;
        const char *decoder;
        bool labeled;
    } cases[] = {
        {"byte-order mark over header", "\xEF\xBB\xBF" + page("x"), "gbk", "utf-8", "UTF-8", true},
        {"UTF-16 byte-order mark", std::string("\xFF\xFE<\0p\0>\0", 8), "", "utf-16le", "UTF-16LE", true},
        {"header over meta", meta, "windows-1252", "windows-1252", "CP1252", true},
        {"meta", meta, "", "big5", "BIG5-HKSCS", true},
        {"nothing", page(gbkText), "", "gb18030", "GB18030", false},
    };
    for (const auto &c : cases) {
        const PageEncoding encoding = pageEncoding(c.bytes, c.header);
        EXPECT_EQ(encoding.name, c.name) << c.what;
        EXPECT_EQ(encoding.decoder, c.decoder) << c.what;
        EXPECT_EQ(encoding.labeled, c.labeled) << c.what;
    }
}

// The saved pages are read as detected; before, every unlabeled page that was not UTF-8 was
// read in the code page.
TEST(EncodingDetection, SavedPagesAreReadAsDetected)
{
    const struct {
        const char *file;
        const char *text;
    } cases[] = {
        {"utf8-unlabeled.html", "Aperibé</td><td>Álvaro Mendonça</td><td>11.034</td><td>苏州"},
        {"gbk-unlabeled.html", "内蒙古自治区"},
        {"windows-1252-unlabeled.html", "São João del-Rei"},
        {"windows-1252-labeled.html", "Évry-Courcouronnes</td><td>Essonne</td><td>66 700</td><td>Stéphane Beaudet</td><td>139 M€"},
        {"big5-labeled.html", "臺北市"},
        {"gb2312-meta.html", "门头沟区"},
    };
    for (const auto &c : cases) {
        const std::string text = pageTextAsUtf8(test::readBytes(kEncodings / c.file));
        EXPECT_NE(text.find(c.text), std::string::npos) << c.file;
    }
}

}  // namespace
}  // namespace tabvoro::capture::html
