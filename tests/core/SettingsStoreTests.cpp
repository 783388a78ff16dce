#include <gtest/gtest.h>

#include "BrindleCore/SettingsStore.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle::testing {
namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    TemporaryFolder temp;
    PosixFileManager real;
    Path home = temp / "home";
    Path file = temp / "config/Brindle/settings.json";
    BackupSettings defaults() { return BackupSettings::defaults(home, real); }
};

TEST_F(SettingsStoreTest, NoFileMeansTheDefaultsAndNothingWrittenUntilSave) {
    EXPECT_EQ(defaults().backupIntervalMinutes, 30);
    SettingsStore store(real, file, home);
    EXPECT_EQ(store.settings(), defaults());
    EXPECT_FALSE(real.examine(file).exists());
    EXPECT_EQ(store.ignoredFileReason(), std::nullopt) << "no file is not a file to complain about";
    store.save();
    EXPECT_EQ(backupSettingsFromJson(readFile(file)), defaults());
    // A cloud drive that appears later does not move a stored root, but is the default.
    makeFolder(home / "Library/Mobile Documents/com~apple~CloudDocs");
    EXPECT_EQ(SettingsStore(real, file, home).settings().destinationRootPath, (home / "Brindle Backups").string());
    EXPECT_EQ(defaults().destinationRootPath, (home / "Library/Mobile Documents/com~apple~CloudDocs/Brindle").string());
}

TEST_F(SettingsStoreTest, UnusableFilesGiveTheDefaultsAndStayByteForByteUntilSaved) {
    // Whatever fails: the reading (every way it can fails alike) or the file itself.
    const std::vector<std::string> corpus{"", "not json", R"({"destinationRootPath": "/x", "enabledItemIDs": []})"};
    for (const auto& contents : corpus) {
        writeFile(file, contents);
        const SettingsStore store(real, file, home);
        EXPECT_EQ(store.settings(), defaults()) << contents.substr(0, 80);
        EXPECT_TRUE(store.ignoredFileReason().has_value()) << contents.substr(0, 80);
        EXPECT_EQ(readFile(file), contents);
    }
    std::filesystem::remove(file);
    makeFolder(file);  // a folder in the file's place
    EXPECT_EQ(SettingsStore(real, file, home).settings(), defaults());
}

TEST_F(SettingsStoreTest, ValuesAreTakenAsTheyAreAndOnlyTheThreeKeysAreSaved) {
    // A NUL is kept, for the run to refuse: cut short there, the root would be another folder.
    writeFile(file, R"({"backupIntervalMinutes": -9223372036854775808, "destinationRootPath": "/x\u0000", "enabledItemIDs": ["a", "a"], "x": 1})");
    const BackupSettings expected{std::string("/x\0", 3), {"a"}, INT64_MIN};
    SettingsStore store(real, file, home);
    EXPECT_EQ(store.settings(), expected);
    store.save();
    EXPECT_EQ(readFile(file), toJson(expected));
}

}  // namespace
}  // namespace brindle::testing
