#pragma once

// The encoding a page's bytes are decoded with, decided as a current browser decides it: the
// page's own label when it has one, else detection from the bytes (uchardet). The static
// document and the live view both follow this, so that they read every page alike.

#include <string>
#include <string_view>

namespace tabvoro::capture::html {

struct PageEncoding {
    // As the web names it ("utf-8", "gb18030", "shift_jis"): what a browser is told to use.
    std::string name;
    // The decoder for it, as decoderName() gives it ("UTF-8", "GB18030", "CP932").
    std::string decoder;
    // Named by the page (byte-order mark, HTTP header, meta tag) rather than detected.
    bool labeled = false;
};

// The encoding of a page that names none: UTF-8 when the bytes are valid UTF-8, else what the
// detector finds. A multi-byte encoding it finds by the structure of the bytes and is trusted;
// a single-byte one it tells by letter frequencies, which a short text does not show: on a text
// with few bytes outside ASCII that the code page's own encoding reads whole, and when it finds
// nothing, the code page's encoding is taken, as a browser set up for it does.
PageEncoding detectUnlabeledEncoding(std::string_view bytes);

// The encoding of a response: by its byte-order mark, else the charset of its HTTP header
// (`headerCharset`, empty when the header names none), else by its meta tag, else detected.
PageEncoding pageEncoding(std::string_view bytes, std::string_view headerCharset = {});

}  // namespace tabvoro::capture::html
