#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/FuzzChecks.h"

// One entry point for every fuzz target; the build names the check each one runs.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    brindle::fuzz::BRINDLE_FUZZ_CHECK(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
