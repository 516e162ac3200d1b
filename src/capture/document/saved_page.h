#pragma once

// Saved pages read from disk: the page file, its frames from the files beside it, and the
// "file:" addresses that name them.

#include <memory>
#include <string>

#include "capture/document/static_document.h"

namespace tabvoro::capture {

// A loader for pages saved as files: an address "file:///..." is read from disk; any other
// address fails (the static document does not fetch from the network).
FrameLoader fileFrameLoader();

// The "file://" address of a local path (made absolute).
std::string fileUrlFromPath(const std::string &path);

// Reads a saved page and its frames (from files beside it).
Result<std::unique_ptr<StaticDocument>> loadStaticDocument(const std::string &path);

}  // namespace tabvoro::capture
