#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fakes/TemporaryFolder.h"
#include "tests/fuzz/FuzzChecks.h"

// Every seed and every input a fuzzer once found a fault with, through the same
// checks, in the ordinary test run: a fixed fault stays fixed.
namespace brindle::fuzz {
namespace {

void replay(const std::string& target, void (*check)(std::string_view)) {
    int replayed = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        const std::filesystem::path folder = std::filesystem::path(BRINDLE_FUZZ_DIR) / kind / target;
        if (!std::filesystem::exists(folder)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            SCOPED_TRACE(entry.path().string());
            check(testing::readFile(entry.path()));
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0) << "no inputs for " << target;
}

TEST(FuzzReplay, SettingsReader) { replay("settings", checkSettingsReader); }
TEST(FuzzReplay, ManifestReader) { replay("manifest", checkManifestReader); }
TEST(FuzzReplay, JsonWriter) { replay("json_writer", checkJsonWriter); }
TEST(FuzzReplay, MachineName) { replay("machine_name", checkMachineName); }
TEST(FuzzReplay, NameRules) { replay("names", checkNameRules); }

}  // namespace
}  // namespace brindle::fuzz
