#include "capture/job/json_fields.h"

#include <climits>
#include <memory>

namespace tabvoro::capture {

using nlohmann::json;

Result<JsonFields> JsonFields::parse(std::string_view text)
{
    auto root = std::make_shared<json>();
    try {
        *root = json::parse(text);
    } catch (const json::parse_error &e) {
        return failure("不是有效的 JSON（第 " + std::to_string(e.byte) + " 字节处）");
    }
    if (!root->is_object())
        return failure("不是一个 JSON 对象");
    const json *object = root.get();
    return JsonFields(std::move(root), object, {});
}

std::string JsonFields::field(const char *key) const { return "字段 \"" + m_place + key + "\""; }

Result<void> JsonFields::wrongType(const char *key, const char *expected) const
{
    return failure(field(key) + " 应为" + expected);
}

Result<void> JsonFields::version(int supported) const
{
    if (!has("version"))
        return failure("缺少字段 \"version\"");
    const json &v = m_object->at("version");
    if (!v.is_number_integer())
        return wrongType("version", "整数");
    if (v.get<long long>() != supported)
        return failure("不支持的版本 " + v.dump() + "（" + field("version") + " 应为 " + std::to_string(supported) + "）");
    return {};
}

Result<void> JsonFields::text(const char *key, std::string &out) const
{
    if (!has(key))
        return {};
    const json &v = m_object->at(key);
    if (!v.is_string())
        return wrongType(key, "文本");
    out = v.get<std::string>();
    return {};
}

Result<void> JsonFields::flag(const char *key, bool &out) const
{
    if (!has(key))
        return {};
    const json &v = m_object->at(key);
    if (!v.is_boolean())
        return wrongType(key, " true 或 false");
    out = v.get<bool>();
    return {};
}

Result<std::optional<long long>> JsonFields::integerValue(const char *key) const
{
    if (!has(key))
        return std::optional<long long>();
    const json &v = m_object->at(key);
    // A number too large for 64 bits arrives as unsigned or floating point: out of range as well.
    if (!v.is_number_integer() || (v.is_number_unsigned() && v.get<unsigned long long>() > LLONG_MAX))
        return std::unexpected(wrongType(key, "整数").error());
    return v.get<long long>();
}

Result<void> JsonFields::number(const char *key, double &out, double low, double high) const
{
    if (!has(key))
        return {};
    const json &v = m_object->at(key);
    if (!v.is_number())
        return wrongType(key, "数");
    const double n = v.get<double>();
    if (!(n >= low && n <= high))
        return failure(field(key) + " 应在 " + std::to_string(static_cast<long long>(low)) + " 到 " +
                       std::to_string(static_cast<long long>(high)) + " 之间");
    out = n;
    return {};
}

Result<void> JsonFields::integer(const char *key, int &out, long long low, long long high) const
{
    const auto n = integerValue(key);
    if (!n || !*n)
        return n ? Result<void>() : std::unexpected(n.error());
    if (**n < low || **n > high)
        return failure(field(key) + " 应在 " + std::to_string(low) + " 到 " + std::to_string(high) + " 之间");
    out = static_cast<int>(**n);
    return {};
}

Result<void> JsonFields::integer64(const char *key, long long &out, long long low) const
{
    const auto n = integerValue(key);
    if (!n || !*n)
        return n ? Result<void>() : std::unexpected(n.error());
    if (**n < low)
        return failure(field(key) + " 应不小于 " + std::to_string(low));
    out = **n;
    return {};
}

Result<void> JsonFields::texts(const char *key, std::vector<std::string> &out) const
{
    if (!has(key))
        return {};
    const json &v = m_object->at(key);
    if (!v.is_array())
        return wrongType(key, "文本的数组");
    std::vector<std::string> read;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (!v[i].is_string())
            return failure(field(key) + "[" + std::to_string(i) + "] 应为文本");
        read.push_back(v[i].get<std::string>());
    }
    out = std::move(read);
    return {};
}

Result<void> JsonFields::objects(const char *key, std::vector<JsonFields> &out) const
{
    if (!has(key))
        return {};
    const json &v = m_object->at(key);
    if (!v.is_array())
        return wrongType(key, "对象的数组");
    std::vector<JsonFields> read;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (!v[i].is_object())
            return failure(field(key) + "[" + std::to_string(i) + "] 应为对象");
        read.push_back(JsonFields(m_root, &v[i], m_place + key + "[" + std::to_string(i) + "]."));
    }
    out = std::move(read);
    return {};
}

std::string dumpJson(const nlohmann::ordered_json &value)
{
    // Text that is not UTF-8 (a page's bytes in a capture) is written with U+FFFD rather than
    // throwing in the middle of a run.
    return value.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace tabvoro::capture
