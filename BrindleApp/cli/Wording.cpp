#include "BrindleApp/cli/Wording.h"

namespace brindle::cli {

std::string counted(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string filesAndBytes(std::int64_t files, std::uint64_t bytes) {
    return counted(static_cast<std::uint64_t>(files), "file", "files") + ", " + counted(bytes, "byte", "bytes");
}

std::string shellQuoted(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace brindle::cli
