#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace brindle {

// Strict reading of Brindle's records: every required key present with the right
// type, integers only as JSON integers within range. Failures throw JsonReadError
// naming the record and the key. Internal to the core.
namespace json_reader {

nlohmann::json parseObject(std::string_view text, const std::string& what);
const nlohmann::json& member(const nlohmann::json& object, const char* key, const std::string& what);
std::string requireString(const nlohmann::json& object, const char* key, const std::string& what);
bool requireBool(const nlohmann::json& object, const char* key, const std::string& what);
std::int64_t requireInt64(const nlohmann::json& object, const char* key, const std::string& what);
std::uint64_t requireUInt64(const nlohmann::json& object, const char* key, const std::string& what);
const nlohmann::json& requireArray(const nlohmann::json& object, const char* key, const std::string& what);
std::vector<std::string> requireStringArray(const nlohmann::json& object, const char* key, const std::string& what);
const nlohmann::json& requireObject(const nlohmann::json& value, const std::string& what);
// Absent or null gives nothing.
std::optional<std::string> optionalString(const nlohmann::json& object, const char* key, const std::string& what);

}  // namespace json_reader

}  // namespace brindle
