#pragma once

#include <string_view>

// The properties each fuzz target checks, shared with the replay test that runs every
// saved input through them. A violated property aborts with a message on stderr, so
// libFuzzer records the input.
namespace brindle::fuzz {

void checkSettingsReader(std::string_view input);
void checkManifestReader(std::string_view input);
void checkJsonWriter(std::string_view input);
void checkMachineName(std::string_view input);
void checkNameRules(std::string_view input);

}  // namespace brindle::fuzz
