#pragma once

// A small writer of one JSON object for the command line's output: UTF-8 text as it is, quotes,
// backslashes and control characters escaped.

#include <string>
#include <vector>

namespace tabvoro::cli {

class JsonWriter {
public:
    JsonWriter &beginObject();
    JsonWriter &endObject();
    JsonWriter &key(const std::string &name);
    JsonWriter &string(const std::string &value);
    JsonWriter &stringArray(const std::vector<std::string> &values);
    JsonWriter &number(long long value);
    JsonWriter &boolean(bool value);
    const std::string &text() const { return m_text; }

private:
    void separate();
    void quoted(const std::string &value);

    std::string m_text;
    bool m_first = true;
};

}  // namespace tabvoro::cli
