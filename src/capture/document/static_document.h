#pragma once

// The page document of an HTML text, parsed by gumbo as a browser would (implied tbody, foster
// parenting). Used for saved pages (see saved_page.h), by the command line and by the engine
// tests.

#include <functional>
#include <memory>
#include <string>

#include "capture/document/page_document.h"

namespace tabvoro::capture {

// Loads the HTML text of a frame given its address as resolved against the page's base URL.
// A failure makes that frame a failing read.
using FrameLoader = std::function<Result<std::string>(const std::string &absoluteUrl)>;

class StaticDocument : public Document {
public:
    // `baseUrl` is the page's own address ("file:///path/page.html" for a saved page).
    static std::unique_ptr<StaticDocument> parse(std::string html, std::string baseUrl,
                                                 FrameLoader loader = {});
    ~StaticDocument() override;

    Read<std::string> baseUrl() const override;
    Read<std::string> bodyText() const override;
    Read<Frame> frame(std::size_t index) const override;
    Read<std::size_t> tableCount() const override;
    Read<std::size_t> htmlTableCount() const override;
    Read<const Table *> table(std::size_t index) const override;
    Read<std::size_t> elementCount() const override;
    Read<const Element *> element(std::size_t index) const override;
    Read<std::vector<std::string>> links() const override;

private:
    StaticDocument();
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace tabvoro::capture
