#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <linux/magic.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "BrindleCore/FileManager.h"
#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/PosixSync.h"
#include "BrindleCore/UserFolders.h"
#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/ChildProcess.h"

namespace brindle::testing {
namespace {

struct stat statOf(const Path& path) {
    struct stat status {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return status;
}

void setTime(const Path& path, time_t seconds, long nanoseconds = 0) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// More folders than the copy opens out into pieces, so that some are copied whole and
// some filled piece by piece by the two threads, each with a read-only folder inside.
TEST(PosixFileManager, CopyKeepsModesTimesLinksAndSpecialFilesOfAWholeTree) {
    TemporaryFolder temp;
    PosixFileManager files;
    const Path src = temp / "src";
    writeFile(src / "run.sh", "#!/bin/sh\necho hi\n");
    chmod((src / "run.sh").c_str(), 0751);
    setTime(src / "run.sh", 1000000000, 500);
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
        setTime(skill / "locked", 1000000000);
        setTime(skill, 1000000000);
    }
    setTime(src / ".hidden", 1000000000);

    files.copyItem(src, temp / "dst");

    const Path dst = temp / "dst";
    EXPECT_EQ(treeOf(src), treeOf(dst));
    EXPECT_EQ(statOf(dst / "run.sh").st_mode & 07777, 0751u);
    EXPECT_EQ(statOf(dst / "run.sh").st_mtim.tv_nsec, 500);
    EXPECT_EQ(statOf(dst / ".hidden").st_mode & 07777, 0705u);
    EXPECT_EQ(statOf(dst / ".hidden").st_mtim.tv_sec, 1000000000);
    EXPECT_TRUE(S_ISFIFO(statOf(dst / "pipe").st_mode));
    EXPECT_EQ(statOf(dst / "pipe").st_mode & 07777, 0640u);
    for (int folder = 0; folder < 12; ++folder) {
        const Path skill = dst / ("skill-" + std::to_string(folder));
        EXPECT_EQ(statOf(skill).st_mtim.tv_sec, 1000000000) << skill;
        EXPECT_EQ(statOf(skill / "locked").st_mode & 07777, 0555u) << skill;
        EXPECT_EQ(statOf(skill / "locked").st_mtim.tv_sec, 1000000000) << skill;
    }
}

TEST(PosixFileManager, FailuresNameTheEntryAndTheReasonInPlainWords) {
    TemporaryFolder temp;
    PosixFileManager files;
    writeFile(temp / "a", "new");
    writeFile(temp / "file", "old");
    const std::string file = quotedPath((temp / "file").string());
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {[&] { files.copyItem(temp / "a", temp / "file"); },
         "Could not copy " + quotedPath((temp / "a").string()) + " to " + file + ": something already exists at that place."},
        {[&] { files.createDirectory(temp / "file/sub"); }, "Could not create the folder " + file + ": a file is in its place."},
        {[&] { files.readFile(temp / "missing.json"); },
         "Could not read " + quotedPath((temp / "missing.json").string()) + ": there is no such file or folder."},
        {[&] { files.contentsOfDirectory(temp / "file"); }, "Could not list the folder " + file + ": a part of the path is not a folder."},
        {[&] { files.writeFileAtomically(temp / "nowhere/x.json", "y"); },
         "Could not write " + quotedPath((temp / "nowhere/x.json").string()) + ": there is no such file or folder."},
        // The system would cut the path at the NUL and remove the folder itself.
        {[&] { files.removeItem(Path(temp.path().string() + std::string(1, '\0') + "x")); },
         "The path " + quotedPath(temp.path().string() + "?x") +
             " holds a NUL character (shown as \u201C?\u201D), which no file name can hold."},
    };
    for (const auto& [action, message] : cases) {
        try {
            action();
            ADD_FAILURE() << "no failure: " << message;
        } catch (const FileSystemError& error) {
            EXPECT_EQ(std::string(error.what()), message);
        }
    }
    EXPECT_EQ(readFile(temp / "file"), "old");
    EXPECT_TRUE(files.examine(temp.path()).isDirectory());
}

TEST(PosixFileManager, ExamineSaysWhatIsThereAndNeverTakesAFailureForAbsence) {
    TemporaryFolder temp;
    PosixFileManager files;
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
        EXPECT_EQ(info.type, type) << name;
        EXPECT_EQ(info.size, size) << name;
    }
    EXPECT_THROW(files.examine(temp / "loop"), FileSystemError);
    EXPECT_EQ(files.examine(temp / "to-folder").identity, files.examine(temp / "folder").identity);
}

TEST(PosixFileManager, FoldersAndAtomicWrites) {
    TemporaryFolder temp;
    PosixFileManager files;
    files.createDirectory(temp / "a/b/c", 0700);
    files.createDirectory(temp / "a/b/c");
    EXPECT_EQ(statOf(temp / "a/b/c").st_mode & 0777, 0700u);
    makeLink("a", temp / "link");
    EXPECT_NO_THROW(files.createDirectory(temp / "link"));  // a link to a folder is a folder

    writeFile(temp / "dir/settings.json", "old");
    chmod((temp / "dir/settings.json").c_str(), 0600);
    files.writeFileAtomically(temp / "dir/settings.json", "new contents");
    EXPECT_EQ(treeOf(temp / "dir"), (Tree{{"settings.json", "new contents"}})) << "no temporary file is left";
    EXPECT_EQ(statOf(temp / "dir/settings.json").st_mode & 0777, 0600u);
}

// A real full disk: a 256 KiB tmpfs in a private mount namespace of a child process.
TEST(PosixFileManager, AFullDiskIsReportedAsSuchAndLeavesNothingHalfCopied) {
    TemporaryFolder temp;
    writeFile(temp / "big.bin", std::string(1 << 20, 'x'));
    for (int i = 0; i < 12; ++i) writeFile(temp / "tree" / std::to_string(i) / "part", std::string(64 << 10, 'y'));
    makeFolder(temp / "small");
    const auto outcome = withPrivateTmpfs(temp / "small", "256k", [&]() -> std::string {
        PosixFileManager files;
        for (const auto* name : {"big.bin", "tree"}) {
            try {
                files.copyItem(temp / name, temp / "small" / name);
                return std::string(name) + " fit";
            } catch (const FileSystemError& error) {
                if (files.examine(temp / "small" / name, Links::noFollow).exists()) return "a partial copy was left";
                if (std::string(error.what()).find(": the disk is full.") == std::string::npos) return error.what();
            }
        }
        return "";
    });
    if (!outcome.available) GTEST_SKIP() << "no private mount namespace here: " << outcome.failure;
    EXPECT_EQ(outcome.failure, "");
}

// Copying and removing hold only a few folders open however deep the tree: anything
// the walk can stage, the run can publish and remove again.
TEST(PosixFileManager, DeepTreesAreCopiedAndRemovedWithFewOpenFiles) {
    TemporaryFolder temp;
    const int depth = 300;
    int fd = open(temp.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < depth; ++level) {
        mkdirat(fd, "d", 0755);
        const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    close(openat(fd, "leaf", O_WRONLY | O_CREAT, 0644));
    close(fd);
    const auto outcome = inChildProcess([&]() -> std::string {
        const rlimit few{100, 100};
        if (setrlimit(RLIMIT_NOFILE, &few) != 0) return "setrlimit";
        PosixFileManager files;
        files.copyItem(temp / "d", temp / "copy", CopySource::own);
        files.removeItem(temp / "d");
        if (files.examine(temp / "d", Links::noFollow).exists()) return "the tree was not removed";
        files.removeItem(temp / "copy");
        return "";
    });
    EXPECT_EQ(outcome.failure, "");
}

TEST(PosixFileManager, EachFileSystemIsSyncedTheWayThatReachesItsStorage) {
    using posix::SyncMethod;
    EXPECT_EQ(posix::syncMethodFor(TMPFS_MAGIC), SyncMethod::none);
    EXPECT_EQ(posix::syncMethodFor(EXT4_SUPER_MAGIC), SyncMethod::wholeFileSystem);
    EXPECT_EQ(posix::syncMethodFor(BTRFS_SUPER_MAGIC), SyncMethod::wholeFileSystem);
    EXPECT_EQ(posix::syncMethodFor(FUSE_SUPER_MAGIC), SyncMethod::eachEntry);
    EXPECT_EQ(posix::syncMethodFor(NFS_SUPER_MAGIC), SyncMethod::eachEntry);
    EXPECT_EQ(posix::syncMethodFor(0x12345678), SyncMethod::eachEntry) << "an unknown file system is synced entry by entry";
    for (const Path& base : {memoryBackedTemporaryBase(), Path(std::filesystem::temp_directory_path())}) {
        TemporaryFolder temp(base);
        writeFile(temp / "tree/a/file", "x");
        PosixFileManager files;
        EXPECT_NO_THROW(files.syncTree(temp / "tree"));
        EXPECT_NO_THROW(files.syncFolder(temp.path()));
        EXPECT_NO_THROW(posix::syncTree(temp / "tree/a/file"));
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
