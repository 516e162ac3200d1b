#pragma once

// A plain-text account of everything a page document yields: body text, tables with their
// rows and cells, the `all` list, links and frames. One line per item, line breaks and tabs
// inside values written as \r \n \t, so that two documents of the same page (the static one and
// the live one) can be compared line by line and a fixture's expected reading checked by eye.

#include <string>

#include "capture/document/page_document.h"

namespace tabvoro::capture {

// `frameDepth` is how many levels of frames are opened and written out beneath their frame.
std::string dumpDocument(const Document &document, int frameDepth = 1);

}  // namespace tabvoro::capture
