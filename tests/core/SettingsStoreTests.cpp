#include <gtest/gtest.h>

#include <cerrno>

#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/SettingsStore.h"
#include "tests/fakes/FaultInjectingFileManager.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle {
namespace {

using testing::FaultInjectingFileManager;
using testing::readFile;
using testing::TemporaryFolder;
using testing::writeFile;

class SettingsStoreTest : public ::testing::Test {
protected:
    TemporaryFolder temp;
    PosixFileManager real;
    Path home = temp / "home";
    Path file = temp / "config/Brindle/settings.json";
    BackupSettings defaults() { return BackupSettings::defaults(home, real); }
};

TEST_F(SettingsStoreTest, DefaultsDependOnTheCloudDriveFolder) {
    EXPECT_EQ(defaults().destinationRootPath, (home / "Brindle Backups").string());
    EXPECT_EQ(defaults().enabledItemIDs.size(), 6u);
    EXPECT_EQ(defaults().backupIntervalMinutes, 30);
    testing::makeFolder(home / "Library/Mobile Documents/com~apple~CloudDocs");
    EXPECT_EQ(defaults().destinationRootPath, (home / "Library/Mobile Documents/com~apple~CloudDocs/Brindle").string());
}

TEST_F(SettingsStoreTest, UnusableFilesGiveTheDefaultsAndStayUntouchedUntilSaved) {
    for (const std::string contents : {"", "not json", R"({"destinationRootPath": "/x", "enabledItemIDs": []})",
                                       R"({"backupIntervalMinutes": 30, "destinationRootPath": "/x", "enabledItemIDs": [)"}) {
        writeFile(file, contents);
        SettingsStore store(real, file, home);
        EXPECT_EQ(store.settings(), defaults()) << contents;
        EXPECT_TRUE(store.ignoredFileReason().has_value()) << contents;
        EXPECT_EQ(readFile(file), contents);
    }
    std::filesystem::remove(file);
    testing::makeFolder(file);  // a folder in the file's place
    SettingsStore store(real, file, home);
    EXPECT_EQ(store.settings(), defaults());
}

TEST_F(SettingsStoreTest, NoFileMeansDefaultsAndNothingWrittenUntilSave) {
    SettingsStore store(real, file, home);
    EXPECT_EQ(store.settings(), defaults());
    EXPECT_FALSE(real.examine(file).exists());
    EXPECT_EQ(store.ignoredFileReason(), std::nullopt) << "no file is not a file to complain about";
    store.save();
    EXPECT_EQ(backupSettingsFromJson(readFile(file)), defaults());
    // A cloud drive that appears later does not move a stored root.
    testing::makeFolder(home / "Library/Mobile Documents/com~apple~CloudDocs");
    EXPECT_EQ(SettingsStore(real, file, home).settings().destinationRootPath, (home / "Brindle Backups").string());
}

TEST_F(SettingsStoreTest, ExtraKeysAreReadAndDroppedOnSave) {
    writeFile(file, R"({"backupIntervalMinutes": 0, "destinationRootPath": "/r", "enabledItemIDs": [], "x": 1})");
    SettingsStore store(real, file, home);
    EXPECT_EQ(store.settings(), (BackupSettings{"/r", {}, 0}));
    store.save();
    EXPECT_EQ(readFile(file), toJson(BackupSettings{"/r", {}, 0}));
}

TEST_F(SettingsStoreTest, AFailedSaveKeepsTheChangeInMemoryAndTheOldFileWhole) {
    writeFile(file, toJson(defaults()));
    const std::string before = readFile(file);
    FaultInjectingFileManager failing(real);
    SettingsStore store(failing, file, home);
    failing.failWhen("writeFileAtomically", "settings.json", ENOSPC);
    try {
        store.update([](BackupSettings& s) { s.destinationRootPath = "/new/root"; });
        FAIL() << "save succeeded";
    } catch (const FileSystemError& error) {
        EXPECT_NE(std::string(error.what()).find("the disk is full"), std::string::npos);
    }
    EXPECT_EQ(store.settings().destinationRootPath, "/new/root");
    EXPECT_EQ(readFile(file), before);
}

TEST_F(SettingsStoreTest, TheDefaultLocationIsInTheConfigFolder) {
    EXPECT_EQ(SettingsStore::defaultSettingsURL({"/home/me", "/home/me/.config"}), Path("/home/me/.config/Brindle/settings.json"));
}

}  // namespace
}  // namespace brindle
