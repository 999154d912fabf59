#pragma once
// Reading JSON that comes from outside (a backup's manifest, an earlier health
// report) whatever its shape: every accessor looks at the type first, so a
// value of another type is an error the caller words, never an exception.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::json_shape {

using Json = nlohmann::json;

// The member `key` of `value`; null when `value` is no object or lacks it.
inline const Json* Member(const Json& value, std::string_view key) {
    if (!value.is_object()) {
        return nullptr;
    }
    const auto it = value.find(key);
    return it == value.end() ? nullptr : &*it;
}

// An integer within [min, max]; none for anything else (a text, a fraction, a
// number out of range, no value).
inline std::optional<int64_t> IntegerIn(const Json* value, int64_t min, int64_t max) {
    if (value == nullptr || !value->is_number_integer()) {
        return std::nullopt;
    }
    if (value->is_number_unsigned()) {
        const auto v = value->get<uint64_t>();
        if (max < 0 || v > static_cast<uint64_t>(max) || static_cast<int64_t>(v) < min) {
            return std::nullopt;
        }
        return static_cast<int64_t>(v);
    }
    const auto v = value->get<int64_t>();
    return v < min || v > max ? std::nullopt : std::optional<int64_t>(v);
}

// What a report shows when a member is missing or of another type.
inline int IntOr(const Json& object, std::string_view key, int fallback) {
    const auto v = IntegerIn(Member(object, key), INT32_MIN, INT32_MAX);
    return v ? static_cast<int>(*v) : fallback;
}
inline std::string TextOr(const Json& object, std::string_view key, const std::string& fallback) {
    const Json* v = Member(object, key);
    return v != nullptr && v->is_string() ? v->get<std::string>() : fallback;
}
inline bool BoolOr(const Json& object, std::string_view key, bool fallback) {
    const Json* v = Member(object, key);
    return v != nullptr && v->is_boolean() ? v->get<bool>() : fallback;
}
// The member when it is of the kind asked for, else an empty one.
inline const Json& ListOr(const Json& object, std::string_view key) {
    static const Json kEmpty = Json::array();
    const Json* v = Member(object, key);
    return v != nullptr && v->is_array() ? *v : kEmpty;
}
inline const Json& ObjectOr(const Json& object, std::string_view key) {
    static const Json kEmpty = Json::object();
    const Json* v = Member(object, key);
    return v != nullptr && v->is_object() ? *v : kEmpty;
}

}  // namespace velmora::json_shape
