#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace brindle {

// The exact form of Brindle's files, which the library's own dump cannot give: two
// spaces per level, one member or element per line, " : " between key and value, keys
// in bytewise order at every level (as the library's objects keep them), every "/"
// escaped, non-ASCII as UTF-8, no final newline. Never throws for a string's content:
// invalid UTF-8 is written as U+FFFD. Internal to the core.
std::string writeJson(const nlohmann::json& value);

}  // namespace brindle
