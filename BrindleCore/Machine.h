#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// The computer's name made safe as one folder name.
namespace Machine {

// The sanitised name of this computer; never empty.
std::string currentName();

// The two platform facts, injectable for tests.
struct NameSources {
    std::function<std::optional<std::string>()> userVisibleName;
    std::function<std::string()> hostName;
};
std::string currentName(const NameSources& sources);

// Letters, marks, numbers, "-" and "_" kept; every other scalar (and every invalid
// UTF-8 sequence) becomes "-"; "-" and "_" trimmed from both ends; "Mac" when empty.
std::string sanitizedName(std::string_view name);

// PRETTY_HOSTNAME from the text of /etc/machine-info, when present and non-empty.
std::optional<std::string> prettyHostnameFromMachineInfo(std::string_view text);

// PRETTY_HOSTNAME of /etc/machine-info, and gethostname().
NameSources systemNameSources();

}  // namespace Machine

}  // namespace brindle
