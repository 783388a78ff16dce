#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brindle::cli {

// "1 file", "2 files".
std::string counted(std::uint64_t count, const char* one, const char* many);
// "12 files, 4410 bytes".
std::string filesAndBytes(std::int64_t files, std::uint64_t bytes);
// The text as one word for a POSIX shell, in single quotes: what a user can paste.
std::string shellQuoted(std::string_view text);

}  // namespace brindle::cli
