#pragma once

// Saved pages read from disk: the page file, its frames from the files beside it, and the
// "file:" addresses that name them.

#include <memory>
#include <string>

#include "capture/document/static_document.h"

namespace tabvoro::capture {

// A loader for the frames of a page saved as a file in `pageFolder`: an address "file:///..." of
// a regular file in that folder or below, of at most 64 MB, is read from disk; any other address
// fails (the static document does not fetch from the network, nor read the rest of the disk).
FrameLoader fileFrameLoader(const std::string &pageFolder);

// The "file://" address of a local path (made absolute).
std::string fileUrlFromPath(const std::string &path);

// Reads a saved page and its frames (from files in its folder or below).
Result<std::unique_ptr<StaticDocument>> loadStaticDocument(const std::string &path);

}  // namespace tabvoro::capture
