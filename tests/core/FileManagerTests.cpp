#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <linux/magic.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "BrindleCore/FileManager.h"
#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/PosixSync.h"
#include "BrindleCore/UserFolders.h"
#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SyncCalls.h"

namespace brindle::testing {
namespace {

namespace fs = std::filesystem;

class PosixFileManagerTest : public ::testing::Test {
protected:
    TemporaryFolder temp;
    PosixFileManager files;
};

// More folders than the copy opens out into pieces, so that some are copied whole and
// some filled piece by piece by the two threads, each with a read-only folder inside.
TEST_F(PosixFileManagerTest, CopyKeepsModesTimesLinksAndSpecialFilesOfAWholeTree) {
    const Path src = temp / "src";
    writeFile(src / "run.sh", "#!/bin/sh\necho hi\n");
    chmod((src / "run.sh").c_str(), 0751);
    writeFile(src / ".hidden/deep/note", "n");
    chmod((src / ".hidden").c_str(), 0705);
    makeLink("run.sh", src / "alias");
    makeLink("/nowhere/at/all", src / "dangling");
    ASSERT_EQ(mkfifo((src / "pipe").c_str(), 0640), 0);  // opened, it would block the copy for ever
    for (int folder = 0; folder < 12; ++folder) {
        const Path skill = src / ("skill-" + std::to_string(folder));
        for (int file = 0; file < 8; ++file) writeFile(skill / ("part-" + std::to_string(file)), std::string(8192, 'a' + file));
        writeFile(skill / "locked/SKILL.md", "x");
        chmod((skill / "locked").c_str(), 0555);
    }
    // Every entry, the folder itself included, with a modification time of its own.
    std::vector<Path> paths{src};
    for (const auto& entry : fs::recursive_directory_iterator(src)) paths.push_back(entry.path());
    for (long i = 0; i < static_cast<long>(paths.size()); ++i) {
        const timespec times[2] = {{1000000000 + i, 500 + i}, {1000000000 + i, 500 + i}};
        utimensat(AT_FDCWD, paths[i].c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    const Tree before = attributedTreeOf(src);

    files.copyItem(src, temp / "dst");

    EXPECT_EQ(attributedTreeOf(temp / "dst"), before);
}

TEST_F(PosixFileManagerTest, FoldersAtomicWritesAndFailuresNamingTheEntryAndTheReasonInPlainWords) {
    files.createDirectory(temp / "a/b/c", 0700);
    files.createDirectory(temp / "a/b/c");
    EXPECT_EQ(fs::status(temp / "a/b/c").permissions(), fs::perms(0700));
    makeLink("a", temp / "link");
    EXPECT_NO_THROW(files.createDirectory(temp / "link"));  // a link to a folder is a folder
    writeFile(temp / "dir/settings.json", "old");
    chmod((temp / "dir/settings.json").c_str(), 0600);
    files.writeFileAtomically(temp / "dir/settings.json", "new contents");
    EXPECT_EQ(treeOf(temp / "dir"), (Tree{{"settings.json", "new contents"}})) << "no temporary file is left";
    EXPECT_EQ(fs::status(temp / "dir/settings.json").permissions(), fs::perms(0600));

    writeFile(temp / "new", "new");
    writeFile(temp / "file", "old");
    const std::string file = quotedPath((temp / "file").string());
    EXPECT_EQ(failureOf<FileSystemError>([&] { files.copyItem(temp / "new", temp / "file"); }),
              "Could not copy " + quotedPath((temp / "new").string()) + " to " + file + ": something already exists at that place.");
    EXPECT_EQ(failureOf<FileSystemError>([&] { files.createDirectory(temp / "file/sub"); }),
              "Could not create the folder " + file + ": a file is in its place.");
    EXPECT_EQ(failureOf<FileSystemError>([&] { files.readFile(temp / "missing.json"); }),
              "Could not read " + quotedPath((temp / "missing.json").string()) + ": there is no such file or folder.");
    EXPECT_EQ(failureOf<FileSystemError>([&] { files.contentsOfDirectory(temp / "file"); }),
              "Could not list the folder " + file + ": a part of the path is not a folder.");
    EXPECT_EQ(failureOf<FileSystemError>([&] { files.walk(temp / "missing"); }),
              "Could not open the folder " + quotedPath((temp / "missing").string()) + ": there is no such file or folder.");
    EXPECT_EQ(failureOf<FileSystemError>([&] { files.writeFileAtomically(temp / "nowhere/x.json", "y"); }),
              "Could not write " + quotedPath((temp / "nowhere/x.json").string()) + ": there is no such file or folder.");
    // The system would cut the path at the NUL and remove the folder itself.
    EXPECT_EQ(failureOf<FileSystemError>([&] { files.removeItem(Path(temp.path().string() + std::string(1, '\0') + "x")); }),
              "The path " + quotedPath(temp.path().string() + "?x") +
                  " holds a NUL character (shown as \u201C?\u201D), which no file name can hold.");
    EXPECT_EQ(readFile(temp / "file"), "old");
}

TEST_F(PosixFileManagerTest, ExamineSaysWhatIsThereAndNeverTakesAFailureForAbsence) {
    writeFile(temp / "file", "12345");
    makeFolder(temp / "folder");
    makeLink("folder", temp / "to-folder");
    makeLink("gone", temp / "dangling");
    makeLink("loop", temp / "loop");
    const std::vector<std::tuple<std::string, Links, EntryType, std::uint64_t>> cases{
        {"file", Links::follow, EntryType::regular, 5},       {"folder", Links::follow, EntryType::directory, 0},
        {"to-folder", Links::follow, EntryType::directory, 0}, {"to-folder", Links::noFollow, EntryType::symlink, 6},
        {"dangling", Links::follow, EntryType::none, 0},       {"dangling", Links::noFollow, EntryType::symlink, 4},
        {"missing", Links::follow, EntryType::none, 0},        {"file/below", Links::follow, EntryType::none, 0},
    };
    for (const auto& [name, links, type, size] : cases) {
        const EntryInfo info = files.examine(temp / name, links);
        EXPECT_EQ(std::pair(info.type, info.size), std::pair(type, size)) << name;
    }
    EXPECT_THROW(files.examine(temp / "loop"), FileSystemError);
    EXPECT_EQ(files.examine(temp / "to-folder").identity, files.examine(temp / "folder").identity);
}

// A real full disk: a 256 KiB tmpfs in a private mount namespace of a child process.
TEST_F(PosixFileManagerTest, AFullDiskIsReportedAsSuchAndLeavesNothingHalfCopied) {
    writeFile(temp / "big.bin", std::string(1 << 20, 'x'));
    for (int i = 0; i < 12; ++i) writeFile(temp / "tree" / std::to_string(i) / "part", std::string(64 << 10, 'y'));
    makeFolder(temp / "small");
    const auto outcome = withPrivateTmpfs(temp / "small", "256k", [&]() -> std::string {
        for (const auto* name : {"big.bin", "tree"}) {
            const std::string failure = failureOf<FileSystemError>([&] { files.copyItem(temp / name, temp / "small" / name); });
            if (failure.find(": the disk is full.") == std::string::npos) return name + (": " + failure);
            if (files.examine(temp / "small" / name, Links::noFollow).exists()) return "a partial copy was left";
        }
        return "";
    });
    if (!outcome.available) GTEST_SKIP() << "no private mount namespace here: " << outcome.failure;
    EXPECT_EQ(outcome.failure, "");
}

// Copying and removing hold only a few folders open however deep the tree: anything
// the walk can stage, the run can publish and remove again.
TEST_F(PosixFileManagerTest, DeepTreesAreCopiedAndRemovedWithFewOpenFiles) {
    Path deep = temp / "d";
    for (int level = 1; level < 300; ++level) deep /= "d";
    writeFile(deep / "leaf", "");
    const auto outcome = inChildProcess([&]() -> std::string {
        const rlimit few{100, 100};
        if (setrlimit(RLIMIT_NOFILE, &few) != 0) return "setrlimit";
        files.copyItem(temp / "d", temp / "copy", CopySource::own);
        files.removeItem(temp / "d");
        if (files.examine(temp / "d", Links::noFollow).exists()) return "the tree was not removed";
        files.removeItem(temp / "copy");
        return "";
    });
    EXPECT_EQ(outcome.failure, "");
}

// A power cut keeps only what was synced: a written file's data before its name takes
// the old one's place, that name after, and a tree the way that reaches its storage.
TEST_F(PosixFileManagerTest, EachFileSystemIsSyncedTheWayThatReachesItsStorage) {
    using enum posix::SyncMethod;  // an unknown file system is synced entry by entry
    for (const auto& [type, method] : std::vector<std::pair<long, posix::SyncMethod>>{
             {TMPFS_MAGIC, none}, {EXT4_SUPER_MAGIC, wholeFileSystem}, {BTRFS_SUPER_MAGIC, wholeFileSystem},
             {FUSE_SUPER_MAGIC, eachEntry}, {NFS_SUPER_MAGIC, eachEntry}, {0x12345678, eachEntry}})
        EXPECT_EQ(posix::syncMethodFor(type), method) << std::hex << type;
    for (const Path& base : {memoryBackedTemporaryBase(), Path(fs::temp_directory_path())}) {
        TemporaryFolder folder(base);
        struct statfs fileSystem {};
        ASSERT_EQ(statfs(folder.path().c_str(), &fileSystem), 0);
        const auto method = posix::syncMethodFor(fileSystem.f_type);
        const std::string at = folder.path().string(), settings = at + "/settings.json";
        auto calls = syncCallsOf([&] { files.writeFileAtomically(settings, "{}"); });
        ASSERT_GE(calls.size(), 2u) << base;
        EXPECT_EQ(calls[0].rfind("fsync " + at + "/.settings.json.", 0), 0u) << calls[0];
        EXPECT_EQ(calls[1], "rename " + calls[0].substr(6) + " " + settings);
        const std::vector<std::string> folderSync = method == none ? std::vector<std::string>{} : std::vector{"fsync " + at};
        EXPECT_EQ(std::vector(calls.begin() + 2, calls.end()), folderSync);
        writeFile(folder / "tree/a/file", "x");
        const std::map<posix::SyncMethod, std::vector<std::string>> treeCalls{
            {none, {}}, {wholeFileSystem, {"syncfs " + at + "/tree"}},
            {eachEntry, {"fsync " + at + "/tree/a/file", "fsync " + at + "/tree/a", "fsync " + at + "/tree"}}};
        EXPECT_EQ(syncCallsOf([&] { files.syncTree(folder / "tree"); }), treeCalls.at(method)) << base;
    }
}

TEST(Paths, StandardizingAppendingAndContaining) {
    EXPECT_EQ(standardized("/a//b/./c/../d/"), Path("/a/b/d"));
    EXPECT_EQ(standardized("/"), Path("/"));
    EXPECT_EQ(appendingRelativePath("/base", "//x//y/"), Path("/base/x/y"));
    EXPECT_EQ(appendingRelativePath("/base", "a/../b"), Path("/base/a/../b"));
    EXPECT_EQ(appendingRelativePath("/base", "/"), Path("/base"));
    const std::vector<std::tuple<std::string, std::string, bool>> containing{
        {"/a/b", "/a/b", true}, {"/a/b/c", "/a/b", true}, {"/a/bc", "/a/b", false}, {"/a", "/a/b", false},
        {"/anything", "/", true}, {"skills/x", "skills", true}, {"skillsx", "skills", false}};
    for (const auto& [path, folder, inside] : containing) EXPECT_EQ(isSameOrInside(path, folder), inside) << path << " in " << folder;
}

TEST(UserFolders, TheHomeAndConfigurationFoldersFollowTheEnvironment) {
    const auto outcome = inChildProcess([]() -> std::string {
        setenv("HOME", "/tmp/somebody//", 1);
        setenv("XDG_CONFIG_HOME", "relative/config", 1);
        UserFolders folders = UserFolders::current();
        if (folders.home != "/tmp/somebody" || folders.config != "/tmp/somebody/.config") return "relative config used";
        setenv("XDG_CONFIG_HOME", "/etc/xdg-test", 1);
        if (UserFolders::current().config != "/etc/xdg-test") return "XDG_CONFIG_HOME ignored";
        setenv("HOME", "not/absolute", 1);
        if (!UserFolders::current().home.is_absolute()) return "a relative HOME was taken";
        return "";
    });
    EXPECT_EQ(outcome.failure, "");
}

}  // namespace
}  // namespace brindle::testing
