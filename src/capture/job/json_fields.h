#pragma once

// Typed reads of the fields of a JSON object for the job and progress files: a field that is
// missing leaves its value as it was, one of the wrong type is an error that names it (with its
// place: "fields[2].name"), and fields nobody asks for are passed over.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "capture/error.h"

namespace tabvoro::capture {

class JsonFields {
public:
    // The text parsed as one JSON object; an error says where it stops being JSON.
    static Result<JsonFields> parse(std::string_view json);

    bool has(const char *key) const { return m_object->contains(key); }
    // How a field is named in a message.
    std::string field(const char *key) const;

    Result<void> version(int supported) const;
    Result<void> text(const char *key, std::string &out) const;
    Result<void> flag(const char *key, bool &out) const;
    Result<void> integer(const char *key, int &out, long long low, long long high) const;
    Result<void> integer64(const char *key, long long &out, long long low) const;
    Result<void> number(const char *key, double &out, double low, double high) const;
    Result<void> texts(const char *key, std::vector<std::string> &out) const;
    Result<void> objects(const char *key, std::vector<JsonFields> &out) const;

private:
    JsonFields(std::shared_ptr<const nlohmann::json> root, const nlohmann::json *object, std::string place)
        : m_root(std::move(root)), m_object(object), m_place(std::move(place)) {}
    Result<void> wrongType(const char *key, const char *expected) const;
    // The integer at `key`, nothing when it is absent; a value of another type is an error.
    Result<std::optional<long long>> integerValue(const char *key) const;

    std::shared_ptr<const nlohmann::json> m_root;  // keeps m_object alive
    const nlohmann::json *m_object;
    std::string m_place;  // "" for the top level, "fields[2]." below it
};

// JSON text as the program writes its files: indented, UTF-8 kept as it is, a line end last.
std::string dumpJson(const nlohmann::ordered_json &value);

}  // namespace tabvoro::capture
