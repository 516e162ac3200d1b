#include "capture/document/encoding_detection.h"

#include <memory>
#include <type_traits>

#include <uchardet.h>

#include "capture/document/html_charset.h"
#include "capture/document/web_encoding.h"
#include "capture/output/code_page.h"

namespace tabvoro::capture::html {

namespace {

struct DetectedEncoding {
    std::string_view detected;  // as uchardet names it
    std::string_view name;      // as the web names it
    // Found by the structure of its byte sequences, which a short text already shows; a
    // single-byte encoding is told from its neighbours only by letter frequencies.
    bool multiByte;
};

// The encodings uchardet finds that a browser decodes. Not here, and so never taken: those
// the web has no decoder for (EUC-TW, HZ, ISO-2022-CN/KR, the DOS and Mac code pages, VISCII),
// and UTF-16/32 without a byte-order mark. UTF-8 reaches the detector only for bytes that are
// not valid UTF-8, and is then no more than a guess.
constexpr DetectedEncoding kDetectedEncodings[] = {
    {"GB18030", "gb18030", true},          {"BIG5", "big5", true},
    {"SHIFT_JIS", "shift_jis", true},      {"EUC-JP", "euc-jp", true},
    {"EUC-KR", "euc-kr", true},            {"UHC", "euc-kr", true},
    {"ISO-2022-JP", "iso-2022-jp", true},  {"UTF-8", "utf-8", false},
    {"ISO-8859-1", "windows-1252", false}, {"WINDOWS-1252", "windows-1252", false},
    {"ISO-8859-2", "iso-8859-2", false},   {"WINDOWS-1250", "windows-1250", false},
    {"ISO-8859-3", "iso-8859-3", false},   {"ISO-8859-4", "iso-8859-4", false},
    {"ISO-8859-5", "iso-8859-5", false},   {"WINDOWS-1251", "windows-1251", false},
    {"KOI8-R", "koi8-r", false},           {"IBM866", "ibm866", false},
    {"ISO-8859-6", "iso-8859-6", false},   {"WINDOWS-1256", "windows-1256", false},
    {"ISO-8859-7", "iso-8859-7", false},   {"WINDOWS-1253", "windows-1253", false},
    {"ISO-8859-8", "iso-8859-8", false},   {"WINDOWS-1255", "windows-1255", false},
    {"ISO-8859-9", "windows-1254", false}, {"WINDOWS-1254", "windows-1254", false},
    {"ISO-8859-10", "iso-8859-10", false}, {"ISO-8859-13", "iso-8859-13", false},
    {"WINDOWS-1257", "windows-1257", false}, {"ISO-8859-15", "iso-8859-15", false},
    {"ISO-8859-16", "iso-8859-16", false}, {"WINDOWS-1258", "windows-1258", false},
    {"TIS-620", "windows-874", false},     {"ISO-8859-11", "windows-874", false},
};

// By the web's name of the encoding `label` names, which decodeWebText() takes.
PageEncoding named(std::string_view label, bool labeled = false)
{
    const auto encoding = metaEncoding(label);
    return {encoding ? std::string(*encoding) : std::string(label), decoderName(label), labeled};
}

const DetectedEncoding *detect(std::string_view bytes)
{
    const std::unique_ptr<std::remove_pointer_t<uchardet_t>, decltype(&uchardet_delete)> detector(
        uchardet_new(), &uchardet_delete);
    if (!detector || uchardet_handle_data(detector.get(), bytes.data(), bytes.size()) != 0)
        return nullptr;
    uchardet_data_end(detector.get());
    const std::string_view found = uchardet_get_charset(detector.get());
    for (const auto &encoding : kDetectedEncodings)
        if (encoding.detected == found)
            return &encoding;
    return nullptr;
}

// The code page's own encoding, what a browser set up for it decodes unlabeled pages with.
// Bytes that reach the fallback are not UTF-8: a UTF-8 code page (or one the web has no name
// for) falls back as a browser set up for a Western language does.
PageEncoding codePageEncoding()
{
    const auto encoding = encodingForLabel(systemCodePage());
    return !encoding || *encoding == "utf-8" ? named("windows-1252") : named(*encoding);
}

// Below this many bytes outside ASCII the detector takes even Chinese text for a single-byte
// encoding more often than not (a few characters of GBK: nine times in ten); from it on, never
// in samples of the fixtures' text.
constexpr std::size_t kShortText = 16;

bool isShortText(std::string_view bytes)
{
    std::size_t high = 0;
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80 && ++high >= kShortText)
            return false;
    return true;
}

bool readsEveryByte(std::string_view bytes, std::string_view encoding)
{
    constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    return decodeWebText(bytes, encoding).find(kReplacement) == std::string::npos;
}

}  // namespace

PageEncoding detectUnlabeledEncoding(std::string_view bytes)
{
    if (isValidUtf8(bytes))
        return named("utf-8");
    const DetectedEncoding *detected = detect(bytes);
    if (detected && detected->multiByte)
        return named(detected->name);
    PageEncoding fallback = codePageEncoding();
    if (!detected || (isShortText(bytes) && readsEveryByte(bytes, fallback.name)))
        return fallback;
    return named(detected->name);
}

PageEncoding pageEncoding(std::string_view bytes, std::string_view headerCharset)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return {"utf-8", "UTF-8", true};
    if (bytes.starts_with("\xFF\xFE"))
        return {"utf-16le", "UTF-16LE", true};
    if (bytes.starts_with("\xFE\xFF"))
        return {"utf-16be", "UTF-16BE", true};
    if (!headerCharset.empty())
        return named(headerCharset, true);
    if (const std::string declared = declaredCharset(bytes); !declared.empty())
        return named(declared, true);
    return detectUnlabeledEncoding(bytes);
}

}  // namespace tabvoro::capture::html
