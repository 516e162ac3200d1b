#include "capture/document/document_dump.h"

#include <string_view>

namespace tabvoro::capture {

namespace {

// A value in double quotes with everything invisible or ambiguous spelled out.
std::string quoted(std::string_view text)
{
    constexpr char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\r':
            out.append("\\r");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '"':
            out.append("\\\"");
            break;
        default:
            if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
                // A no-break space looks like a blank but is not one to the engine.
                out.append("\\u00a0");
                ++i;
            } else if (static_cast<unsigned char>(c) < 0x20 || c == '\x7F') {
                out.append("\\x");
                out.push_back(hex[static_cast<unsigned char>(c) >> 4]);
                out.push_back(hex[c & 0xF]);
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
    return out;
}

template <class T>
std::string shown(const Read<T> &read, std::string (*format)(const T &))
{
    return read ? format(*read) : "error " + quoted(read.error().message);
}

std::string quotedString(const std::string &text) { return quoted(text); }
std::string number(const std::size_t &n) { return std::to_string(n); }
std::string integer(const int &n) { return std::to_string(n); }

class Dumper {
public:
    explicit Dumper(std::string &out) : m_out(out) {}

    void document(const Document &doc, int frameDepth, const std::string &indent)
    {
        line(indent, "body " + shown(doc.bodyText(), quotedString));
        tables(doc, indent);
        const std::size_t frameCount = elements(doc, indent);
        links(doc, indent);
        frames(doc, frameCount, frameDepth, indent);
    }

private:
    void line(const std::string &indent, const std::string &text)
    {
        m_out.append(indent);
        m_out.append(text);
        m_out.push_back('\n');
    }

    void tables(const Document &doc, const std::string &indent)
    {
        const auto count = doc.tableCount();
        // Only where some tables are not <table> elements, so that the readings of pages
        // without them stay as they were.
        const auto htmlTables = doc.htmlTableCount();
        const bool someNotHtml = count && htmlTables && *htmlTables != *count;
        line(indent, "tables " + shown(count, number) + (someNotHtml ? " of which <table> " + shown(htmlTables, number) : ""));
        for (std::size_t t = 0; count && t < *count; ++t) {
            const auto table = doc.table(t);
            if (!table) {
                line(indent, "table " + std::to_string(t) + " error " + quoted(table.error().message));
                continue;
            }
            const Table &tb = **table;
            const auto rows = tb.rowCount();
            line(indent, "table " + std::to_string(t) + (tb.isRecordList() ? " record list" : "") + " rows " +
                             shown(rows, number) + " text " +
                             shown(tb.text(), quotedString));
            for (std::size_t r = 0; rows && r < *rows; ++r) {
                const auto cells = tb.cellCount(r);
                line(indent + "  ", "row " + std::to_string(r) + " cells " + shown(cells, number) +
                                        " html " + shown(tb.rowInnerHtml(r), quotedString));
                for (std::size_t c = 0; cells && c < *cells; ++c)
                    line(indent + "    ", "cell " + std::to_string(c) + " colspan " +
                                              shown(tb.cellColSpan(r, c), integer) + " rowspan " +
                                              shown(tb.cellRowSpan(r, c), integer) + " text " +
                                              shown(tb.cellText(r, c), quotedString));
            }
        }
    }

    // Returns the number of frame and iframe elements: the frames there are to read.
    std::size_t elements(const Document &doc, const std::string &indent)
    {
        const auto count = doc.elementCount();
        line(indent, "elements " + shown(count, number));
        std::size_t frames = 0;
        for (std::size_t i = 0; count && i < *count; ++i) {
            const auto element = doc.element(i);
            if (!element) {
                line(indent + "  ", std::to_string(i) + " error " + quoted(element.error().message));
                continue;
            }
            const auto tag = (*element)->tagName();
            if (tag && (*tag == "FRAME" || *tag == "IFRAME"))
                ++frames;
            std::string text = std::to_string(i) + " " + (tag ? *tag : "error " + quoted(tag.error().message));
            // Most elements have none of these; leaving empty ones out keeps the list readable.
            const std::pair<const char *, Read<std::string>> properties[] = {
                {"type", (*element)->type()},
                {"value", (*element)->value()},
                {"name", (*element)->name()},
            };
            for (const auto &[label, value] : properties)
                if (!value || !value->empty())
                    text += std::string(" ") + label + " " + shown(value, quotedString);
            line(indent + "  ", text);
        }
        return frames;
    }

    void links(const Document &doc, const std::string &indent)
    {
        const auto links = doc.links();
        if (!links) {
            line(indent, "links error " + quoted(links.error().message));
            return;
        }
        line(indent, "links " + std::to_string(links->size()));
        for (const auto &link : *links)
            line(indent + "  ", quoted(link));
    }

    void frames(const Document &doc, std::size_t count, int frameDepth, const std::string &indent)
    {
        line(indent, "frames " + std::to_string(count));
        if (frameDepth <= 0)
            return;
        for (std::size_t i = 0; i < count; ++i) {
            const auto frame = doc.frame(i);
            if (!frame) {
                line(indent + "  ", "frame " + std::to_string(i) + " error " + quoted(frame.error().message));
                continue;
            }
            line(indent + "  ", "frame " + std::to_string(i) + " name " + quoted(frame->name));
            if (frame->document)
                document(*frame->document, frameDepth - 1, indent + "    ");
        }
    }

    std::string &m_out;
};

}  // namespace

std::string dumpDocument(const Document &document, int frameDepth)
{
    std::string out;
    Dumper(out).document(document, frameDepth, "");
    return out;
}

}  // namespace tabvoro::capture
