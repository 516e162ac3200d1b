#include "json_writer.h"

#include <cstdio>

namespace tabvoro::cli {

JsonWriter &JsonWriter::beginObject()
{
    m_text += '{';
    m_first = true;
    return *this;
}

JsonWriter &JsonWriter::endObject()
{
    m_text += '}';
    return *this;
}

void JsonWriter::separate()
{
    if (!m_first)
        m_text += ',';
    m_first = false;
}

JsonWriter &JsonWriter::key(const std::string &name)
{
    separate();
    quoted(name);
    m_text += ':';
    return *this;
}

void JsonWriter::quoted(const std::string &value)
{
    m_text += '"';
    for (const char c : value) {
        switch (c) {
        case '"': m_text += "\\\""; break;
        case '\\': m_text += "\\\\"; break;
        case '\n': m_text += "\\n"; break;
        case '\r': m_text += "\\r"; break;
        case '\t': m_text += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                m_text += escaped;
            } else {
                m_text += c;
            }
        }
    }
    m_text += '"';
}

JsonWriter &JsonWriter::string(const std::string &value)
{
    quoted(value);
    return *this;
}

JsonWriter &JsonWriter::stringArray(const std::vector<std::string> &values)
{
    m_text += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            m_text += ',';
        quoted(values[i]);
    }
    m_text += ']';
    return *this;
}

JsonWriter &JsonWriter::number(long long value)
{
    m_text += std::to_string(value);
    return *this;
}

JsonWriter &JsonWriter::boolean(bool value)
{
    m_text += value ? "true" : "false";
    return *this;
}

}  // namespace tabvoro::cli
