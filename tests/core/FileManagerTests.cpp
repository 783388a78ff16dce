#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/vfs.h>
#include <linux/magic.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <atomic>
#include <algorithm>

#include "BrindleCore/FileManager.h"
#include "BrindleCore/FileSystemError.h"
#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/PrivateTmpfs.h"

namespace brindle {
namespace {

using testing::makeFolder;
using testing::makeLink;
using testing::readFile;
using testing::TemporaryFolder;
using testing::treeOf;
using testing::writeFile;

struct stat statOf(const Path& path) {
    struct stat status {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return status;
}

TEST(PosixFileManager, CopyKeepsModesTimesAndLinksOfAWholeTree) {
    TemporaryFolder temp;
    PosixFileManager files;
    writeFile(temp / "src/run.sh", "#!/bin/sh\necho hi\n");
    chmod((temp / "src/run.sh").c_str(), 0751);
    writeFile(temp / "src/.hidden/deep/note", "n");
    makeLink("run.sh", temp / "src/alias");
    makeLink("/nowhere/at/all", temp / "src/dangling");
    chmod((temp / "src/.hidden").c_str(), 0705);
    const timespec old[2] = {{1000000000, 0}, {1000000000, 500}};
    utimensat(AT_FDCWD, (temp / "src/run.sh").c_str(), old, 0);
    utimensat(AT_FDCWD, (temp / "src/.hidden").c_str(), old, 0);

    files.copyItem(temp / "src", temp / "dst");

    EXPECT_EQ(treeOf(temp / "src"), treeOf(temp / "dst"));
    EXPECT_EQ(statOf(temp / "dst/run.sh").st_mode & 07777, 0751u);
    EXPECT_EQ(statOf(temp / "dst/run.sh").st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(statOf(temp / "dst/run.sh").st_mtim.tv_nsec, 500);
    EXPECT_EQ(statOf(temp / "dst/.hidden").st_mode & 07777, 0705u);
    EXPECT_EQ(statOf(temp / "dst/.hidden").st_mtim.tv_sec, 1000000000);
    EXPECT_TRUE(S_ISLNK(statOf(temp / "dst/dangling").st_mode));
}

TEST(PosixFileManager, CopyRefusesAnExistingTargetAndNamesBothPaths) {
    TemporaryFolder temp;
    PosixFileManager files;
    writeFile(temp / "a", "new");
    writeFile(temp / "b", "old");
    try {
        files.copyItem(temp / "a", temp / "b");
        FAIL() << "copy over an existing file succeeded";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(error.code(), EEXIST);
        EXPECT_NE(std::string(error.what()).find((temp / "b").string()), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("already exists"), std::string::npos) << error.what();
    }
    EXPECT_EQ(readFile(temp / "b"), "old");
}

TEST(PosixFileManager, SpecialFilesAreRecreatedNeverRead) {
    TemporaryFolder temp;
    PosixFileManager files;
    makeFolder(temp / "src");
    ASSERT_EQ(mkfifo((temp / "src/pipe").c_str(), 0640), 0);
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string socketPath = (temp / "src/sock").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    // A FIFO opened for reading would block forever; run the copy on a thread and
    // give up (failing) rather than hang the suite.
    std::atomic<bool> done{false};
    std::thread copier([&] {
        files.copyItem(temp / "src", temp / "dst");
        done = true;
    });
    for (int i = 0; i < 500 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!done) {
        int unblock = open((temp / "src/pipe").c_str(), O_WRONLY | O_NONBLOCK);
        close(unblock);
    }
    copier.join();
    close(sock);
    EXPECT_TRUE(done.load()) << "copying a FIFO blocked";
    EXPECT_TRUE(S_ISFIFO(statOf(temp / "dst/pipe").st_mode));
    EXPECT_EQ(statOf(temp / "dst/pipe").st_mode & 07777, 0640u);
    EXPECT_TRUE(S_ISSOCK(statOf(temp / "dst/sock").st_mode));
}

TEST(PosixFileManager, FailuresNameTheFileAndTheReasonInPlainWords) {
    TemporaryFolder temp;
    PosixFileManager files;
    writeFile(temp / "file", "x");
    try {
        files.createDirectory(temp / "file/sub");
        FAIL();
    } catch (const FileSystemError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Could not create the folder \u201C" + (temp / "file").string() + "\u201D: a file is in its place.");
    }
    try {
        files.readFile(temp / "missing.json");
        FAIL();
    } catch (const FileSystemError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Could not read \u201C" + (temp / "missing.json").string() + "\u201D: there is no such file or folder.");
    }
    try {
        files.contentsOfDirectory(temp / "file");
        FAIL();
    } catch (const FileSystemError& error) {
        EXPECT_EQ(error.code(), ENOTDIR);
        EXPECT_EQ(std::string(error.what()).find("filesystem error"), std::string::npos);
    }
    EXPECT_EQ(reasonForErrno(ENOSPC), "the disk is full");
}

TEST(PosixFileManager, CreateDirectoryAcceptsExistingFoldersAndRejectsFilesInTheWay) {
    TemporaryFolder temp;
    PosixFileManager files;
    files.createDirectory(temp / "a/b/c", 0700);
    files.createDirectory(temp / "a/b/c");
    EXPECT_EQ(statOf(temp / "a/b/c").st_mode & 0777, 0700u);
    writeFile(temp / "f", "x");
    EXPECT_THROW(files.createDirectory(temp / "f"), FileSystemError);
    makeLink("a", temp / "link");
    EXPECT_NO_THROW(files.createDirectory(temp / "link"));  // a link to a folder is a folder
}

TEST(PosixFileManager, ExistenceTestsDistinguishAbsenceFromFailure) {
    TemporaryFolder temp;
    PosixFileManager files;
    writeFile(temp / "file", "x");
    makeLink("gone", temp / "dangling");
    EXPECT_TRUE(files.fileExists(temp / "file"));
    EXPECT_FALSE(files.fileExists(temp / "dangling"));
    EXPECT_TRUE(files.entryExists(temp / "dangling"));
    EXPECT_FALSE(files.sourceExists(temp / "dangling"));
    EXPECT_FALSE(files.sourceExists(temp / "file/below"));  // "not a folder" is absence too
    makeLink("loop", temp / "loop");
    EXPECT_THROW(files.sourceExists(temp / "loop"), FileSystemError);
}

TEST(PosixFileManager, AtomicWriteReplacesWholeAndLeavesNoTemporaryFile) {
    TemporaryFolder temp;
    PosixFileManager files;
    writeFile(temp / "dir/settings.json", "old");
    chmod((temp / "dir/settings.json").c_str(), 0600);
    files.writeFileAtomically(temp / "dir/settings.json", "new contents");
    EXPECT_EQ(readFile(temp / "dir/settings.json"), "new contents");
    EXPECT_EQ(statOf(temp / "dir/settings.json").st_mode & 0777, 0600u);
    EXPECT_EQ(treeOf(temp / "dir").size(), 1u);

    EXPECT_THROW(files.writeFileAtomically(temp / "nowhere/x.json", "y"), FileSystemError);
}

TEST(PosixFileManager, WalkReportsFoldersFirstAndNeverEntersLinks) {
    TemporaryFolder temp;
    PosixFileManager files;
    writeFile(temp / "root/a/b/file", "1");
    writeFile(temp / "root/.hidden", "2");
    writeFile(temp / "root/skip/inner", "3");
    makeLink("a", temp / "root/link-to-a");
    auto walk = files.walk(temp / "root");
    std::vector<std::string> seen;
    while (auto entry = walk->next()) {
        seen.push_back(entry->relativePath);
        if (entry->relativePath == "skip") walk->skipDescendants();
        if (entry->relativePath == "link-to-a") { EXPECT_EQ(entry->info.type, EntryType::symlink); }
        if (entry->relativePath == "a/b/file") { EXPECT_EQ(entry->info.size, 1u); }
    }
    auto position = [&](const std::string& name) { return std::find(seen.begin(), seen.end(), name) - seen.begin(); };
    EXPECT_EQ(seen.size(), 6u);
    EXPECT_LT(position("a"), position("a/b"));
    EXPECT_LT(position("a/b"), position("a/b/file"));
    EXPECT_NE(position(".hidden"), static_cast<long>(seen.size()));
    EXPECT_EQ(position("skip/inner"), static_cast<long>(seen.size()));
    EXPECT_EQ(position("link-to-a/b"), static_cast<long>(seen.size()));
    EXPECT_THROW(files.walk(temp / "root/.hidden"), FileSystemError);
}

TEST(PosixFileManager, HomeAndConfigFoldersFollowTheEnvironment) {
    PosixFileManager files;
    const char* home = std::getenv("HOME");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string savedHome = home ? home : "";
    std::string savedConfig = config ? config : "";
    setenv("HOME", "/tmp/somebody//", 1);
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(files.homeDirectory(), Path("/tmp/somebody"));
    EXPECT_EQ(files.applicationSupportDirectories().front(), Path("/tmp/somebody/.config"));
    setenv("XDG_CONFIG_HOME", "/etc/xdg-test", 1);
    EXPECT_EQ(files.applicationSupportDirectories().front(), Path("/etc/xdg-test"));
    if (home) setenv("HOME", savedHome.c_str(), 1); else unsetenv("HOME");
    if (config) setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
}

// A real full disk: a 256 KiB tmpfs in a private mount namespace of a child process.
TEST(PosixFileManager, AFullDiskIsReportedAsSuchAndLeavesNoPartialFile) {
    TemporaryFolder temp;
    writeFile(temp / "big.bin", std::string(1 << 20, 'x'));
    makeFolder(temp / "small");
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        auto report = [&](const std::string& text, int code) {
            (void)!write(pipeFds[1], text.data(), text.size());
            _exit(code);
        };
        if (unshare(CLONE_NEWNS) != 0) report("unshare", 77);
        if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) report("private", 77);
        if (mount("tmpfs", (temp / "small").c_str(), "tmpfs", 0, "size=256k") != 0) report("mount", 77);
        PosixFileManager files;
        try {
            files.copyItem(temp / "big.bin", temp / "small/big.bin");
            report("copy succeeded", 1);
        } catch (const FileSystemError& error) {
            if (files.entryExists(temp / "small/big.bin")) report("partial file left", 1);
            report(error.what(), 0);
        }
    }
    close(pipeFds[1]);
    std::string message;
    char buffer[512];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, static_cast<std::size_t>(got));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private mount namespace here (" << message << ")";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << message;
    EXPECT_EQ(message, "Could not copy \u201C" + (temp / "big.bin").string() + "\u201D: the disk is full.");
}

TEST(PosixFileManager, ATreeCopiedByBothThreadsKeepsEveryFolderAndEndsWholeOrNotAtAll) {
    // More folders than the copy opens out into pieces, so that some are copied whole
    // and some are filled piece by piece, each with a read-only folder inside.
    TemporaryFolder temp;
    PosixFileManager files;
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    for (int folder = 0; folder < 12; ++folder) {
        const Path skill = temp / "src" / ("skill-" + std::to_string(folder));
        for (int file = 0; file < 8; ++file) writeFile(skill / ("part-" + std::to_string(file)), std::string(8192, 'a' + file));
        writeFile(skill / "locked/SKILL.md", "x");
        chmod((skill / "locked").c_str(), 0555);
        utimensat(AT_FDCWD, (skill / "locked").c_str(), old, 0);
        utimensat(AT_FDCWD, skill.c_str(), old, 0);
    }

    files.copyItem(temp / "src", temp / "dst");

    EXPECT_EQ(treeOf(temp / "src"), treeOf(temp / "dst"));
    for (int folder = 0; folder < 12; ++folder) {
        const Path skill = temp / "dst" / ("skill-" + std::to_string(folder));
        EXPECT_EQ(statOf(skill).st_mtim.tv_sec, 1000000000) << skill;
        EXPECT_EQ(statOf(skill / "locked").st_mode & 07777, 0555u) << skill;
        EXPECT_EQ(statOf(skill / "locked").st_mtim.tv_sec, 1000000000) << skill;
        EXPECT_EQ(readFile(skill / "part-7"), std::string(8192, 'h'));
    }

    // A tree that does not fit fails with the real cause and leaves nothing behind.
    makeFolder(temp / "small");
    auto outcome = testing::withPrivateTmpfs(temp / "small", "256k", [&]() -> std::string {
        try {
            files.copyItem(temp / "src", temp / "small/dst");
            return "the copy succeeded";
        } catch (const FileSystemError& error) {
            if (files.entryExists(temp / "small/dst")) return "a partial copy was left";
            if (std::string(error.what()).find("the disk is full") == std::string::npos) return error.what();
        }
        return "";
    });
    if (!outcome.available) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(outcome.failure, "");
}

// Pages of the file that are in memory, as mincore() sees them.
std::size_t residentPages(const Path& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    fstat(fd, &status);
    const std::size_t size = static_cast<std::size_t>(status.st_size);
    void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> pages((size + page - 1) / page);
    mincore(map, size, pages.data());
    munmap(map, size);
    return static_cast<std::size_t>(std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; }));
}

TEST(PosixFileManager, DroppingCachedPagesForgetsTheTreesContentsButFollowsNoLink) {
    TemporaryFolder temp;
    struct statfs fileSystem {};
    statfs(temp.path().c_str(), &fileSystem);
    if (fileSystem.f_type == TMPFS_MAGIC) GTEST_SKIP() << "the temporary folder is a tmpfs, whose pages cannot be dropped";
    const std::string contents(1 << 20, 'b');
    const Path tree = temp.path() / "latest";
    writeFile(tree / "skills" / "deep" / "weights.bin", contents);
    writeFile(temp.path() / "outside.bin", contents);
    makeLink("../outside.bin", tree / "outside-link");
    PosixFileManager fileManager;
    // Only clean pages can be dropped, and a read brings them all in.
    sync();
    ASSERT_EQ(readFile(tree / "skills" / "deep" / "weights.bin"), contents);
    ASSERT_EQ(readFile(temp.path() / "outside.bin"), contents);
    ASSERT_GT(residentPages(tree / "skills" / "deep" / "weights.bin"), 0u);

    fileManager.dropCachedPages(tree);

    EXPECT_EQ(residentPages(tree / "skills" / "deep" / "weights.bin"), 0u);
    EXPECT_GT(residentPages(temp.path() / "outside.bin"), 0u);
    EXPECT_EQ(readFile(tree / "skills" / "deep" / "weights.bin"), contents);
    // A hint about nothing is no error.
    fileManager.dropCachedPages(temp.path() / "missing");
}

TEST(Paths, StandardizingAndAppendingRelativePaths) {
    EXPECT_EQ(standardized("/a//b/./c/../d/"), Path("/a/b/d"));
    EXPECT_EQ(standardized("/"), Path("/"));
    EXPECT_EQ(appendingRelativePath("/base", "/Codex//skills/"), Path("/base/Codex/skills"));
    EXPECT_EQ(appendingRelativePath("/base", "a/../b"), Path("/base/a/../b"));
    EXPECT_EQ(appendingRelativePath("/base", "///"), Path("/base"));
    EXPECT_EQ(appendingRelativePath("/base", ""), Path("/base"));
}

}  // namespace
}  // namespace brindle
