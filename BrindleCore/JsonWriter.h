#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace brindle {

// A JSON value as Brindle writes it. Objects are std::map, so keys come out sorted
// bytewise at every level.
struct JsonValue {
    using Array = std::vector<JsonValue>;
    using Object = std::map<std::string, JsonValue>;
    std::variant<bool, std::int64_t, std::uint64_t, std::string, Array, Object> value;

    JsonValue(bool v) : value(v) {}
    JsonValue(std::int64_t v) : value(v) {}
    JsonValue(std::uint64_t v) : value(v) {}
    JsonValue(std::string v) : value(std::move(v)) {}
    JsonValue(const char* v) : value(std::string(v)) {}
    JsonValue(Array v) : value(std::move(v)) {}
    JsonValue(Object v) : value(std::move(v)) {}
};

// The exact form of Brindle's files: two spaces per level, one member or element per
// line, " : " between key and value, every "/" escaped, non-ASCII as UTF-8, no final
// newline. Never throws for a string's content: invalid UTF-8 is written as U+FFFD.
std::string writeJson(const JsonValue& value);

// The quoted, escaped form of one string.
std::string jsonString(std::string_view text);

}  // namespace brindle
