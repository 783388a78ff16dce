#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    brindle::fuzz::checkJsonWriter(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
