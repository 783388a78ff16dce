#pragma once

#include <string>

namespace brindle {

// A random version-4 UUID in upper case, for names no other run or process will pick.
std::string randomUUID();

}  // namespace brindle
