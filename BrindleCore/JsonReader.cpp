#include "BrindleCore/JsonReader.h"

#include <limits>

#include "BrindleCore/JsonReadError.h"

namespace brindle::json_reader {

namespace {
[[noreturn]] void wrongType(const char* key, const std::string& what, const char* expected) {
    throw JsonReadError("The " + what + " is not valid: \"" + key + "\" must be " + expected + ".");
}
}  // namespace

nlohmann::json parseObject(std::string_view text, const std::string& what) {
    nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
    if (value.is_discarded()) throw JsonReadError("The " + what + " is not valid JSON.");
    return requireObject(value, what);
}

const nlohmann::json& requireObject(const nlohmann::json& value, const std::string& what) {
    if (!value.is_object()) throw JsonReadError("The " + what + " is not valid: it must be a JSON object.");
    return value;
}

const nlohmann::json& member(const nlohmann::json& object, const char* key, const std::string& what) {
    auto found = object.find(key);
    if (found == object.end()) throw JsonReadError("The " + what + " is not valid: \"" + key + "\" is missing.");
    return *found;
}

std::string requireString(const nlohmann::json& object, const char* key, const std::string& what) {
    const auto& value = member(object, key, what);
    if (!value.is_string()) wrongType(key, what, "a string");
    return value.get<std::string>();
}

bool requireBool(const nlohmann::json& object, const char* key, const std::string& what) {
    const auto& value = member(object, key, what);
    if (!value.is_boolean()) wrongType(key, what, "true or false");
    return value.get<bool>();
}

std::int64_t requireInt64(const nlohmann::json& object, const char* key, const std::string& what) {
    const auto& value = member(object, key, what);
    if (value.is_number_unsigned()) {
        auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            wrongType(key, what, "a whole number within the signed 64-bit range");
        return static_cast<std::int64_t>(number);
    }
    if (!value.is_number_integer()) wrongType(key, what, "a whole number");
    return value.get<std::int64_t>();
}

std::uint64_t requireUInt64(const nlohmann::json& object, const char* key, const std::string& what) {
    const auto& value = member(object, key, what);
    if (value.is_number_unsigned()) return value.get<std::uint64_t>();
    if (value.is_number_integer() && value.get<std::int64_t>() >= 0)
        return static_cast<std::uint64_t>(value.get<std::int64_t>());
    wrongType(key, what, "a whole number that is not negative");
}

const nlohmann::json& requireArray(const nlohmann::json& object, const char* key, const std::string& what) {
    const auto& value = member(object, key, what);
    if (!value.is_array()) wrongType(key, what, "an array");
    return value;
}

std::vector<std::string> requireStringArray(const nlohmann::json& object, const char* key, const std::string& what) {
    std::vector<std::string> result;
    for (const auto& element : requireArray(object, key, what)) {
        if (!element.is_string()) wrongType(key, what, "an array of strings");
        result.push_back(element.get<std::string>());
    }
    return result;
}

std::optional<std::string> optionalString(const nlohmann::json& object, const char* key, const std::string& what) {
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) return std::nullopt;
    if (!found->is_string()) wrongType(key, what, "a string or null");
    return found->get<std::string>();
}

}  // namespace brindle::json_reader
