#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fakes/TemporaryFolder.h"
#include "tests/fuzz/FuzzChecks.h"

// Every seed and every input a fuzzer once found a fault with, through the same
// checks, in the ordinary test run: a fixed fault stays fixed.
namespace brindle::fuzz {
namespace {

TEST(FuzzReplay, EverySavedInputStillPassesItsCheck) {
    const std::pair<const char*, void (*)(std::string_view)> targets[] = {
        {"settings", checkSettingsReader}, {"manifest", checkManifestReader}, {"json_writer", checkJsonWriter},
        {"machine_name", checkMachineName}, {"names", checkNameRules}};
    for (const auto& [target, check] : targets) {
        int replayed = 0;
        for (const char* kind : {"corpus", "regressions"}) {
            std::error_code none;  // most targets have no regressions
            for (const auto& entry : std::filesystem::directory_iterator(Path(BRINDLE_FUZZ_DIR) / kind / target, none)) {
                check(testing::readFile(entry.path()));
                ++replayed;
            }
        }
        EXPECT_GT(replayed, 0) << "no inputs for " << target;
    }
}

}  // namespace
}  // namespace brindle::fuzz
