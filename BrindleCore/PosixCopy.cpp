#include "BrindleCore/PosixCopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/PosixRemove.h"

namespace brindle::posix {

namespace {

std::array<timespec, 2> timesOf(const struct stat& status) { return {status.st_atim, status.st_mtim}; }

// Returns 0 or the errno of the failed copy of the contents.
int copyContents(int in, int out, const struct stat& status) {
    if (ioctl(out, FICLONE, in) == 0) return 0;

    bool copiedAnything = false;
    off_t total = 0;
    for (;;) {
        const ssize_t copied = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (copied > 0) {
            copiedAnything = true;
            total += copied;
            // The file as it was examined is copied; asking once more only to hear
            // "end of file" would cost a call per file.
            if (status.st_size > 0 && total >= status.st_size) return 0;
            continue;
        }
        if (copied == 0) {
            // copy_file_range reports 0 both at the end and on file systems (procfs and
            // the like) whose files claim no size; fall through to read() for those.
            if (copiedAnything || status.st_size == 0) return 0;
            break;
        }
        if (errno == EINTR) continue;
        if (copiedAnything || (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
                               errno != EBADF && errno != EPERM))
            return errno;
        break;
    }

    std::vector<char> buffer(1 << 17);
    for (;;) {
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got == 0) return 0;
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        for (ssize_t written = 0; written < got;) {
            const ssize_t put = write(out, buffer.data() + written, static_cast<std::size_t>(got - written));
            if (put < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            written += put;
        }
    }
}

// O_NONBLOCK: if the entry was swapped for a FIFO since it was examined, opening it
// must not hang the run. A file of Brindle's own that its bits make unreadable is
// opened after giving its owner read access, which is taken back at once.
FileDescriptor openSourceFile(const At& from, const struct stat& listed, CopySource source) {
    constexpr int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    FileDescriptor in(openat(from.dir, from.name.c_str(), flags));
    if (in.isOpen() || errno != EACCES || source != CopySource::own || !canGrantAccess(listed)) return in;
    const unsigned bits = listed.st_mode & 07777;
    if (changeMode(from.dir, from.name.c_str(), bits | 0400) != 0) return in;
    in = FileDescriptor(openat(from.dir, from.name.c_str(), flags));
    if (const int code = in.isOpen() ? 0 : errno; code != 0 || fchmod(in.get(), bits) != 0) {
        (void)changeMode(from.dir, from.name.c_str(), bits);
        fail("copy", from.path, code != 0 ? code : errno);
    }
    return in;
}

void copyRegularFile(const At& from, const At& to, const struct stat& listed, CopySource source) {
    FileDescriptor in = openSourceFile(from, listed, source);
    if (!in.isOpen()) fail("copy", from.path, errno);
    struct stat status {};
    if (fstat(in.get(), &status) != 0) fail("copy", from.path, errno);
    if (!S_ISREG(status.st_mode)) {
        throw FileSystemError(EINVAL, from.path.string(),
                              "Could not copy " + quotedPath(from.path.string()) + ": it was replaced while being copied.");
    }
    FileDescriptor out(openat(to.dir, to.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.isOpen()) fail("copy " + quotedPath(from.path.string()) + " to", to.path, errno);

    int code = copyContents(in.get(), out.get(), status);
    const auto times = timesOf(status);
    if (code == 0 && fchmod(out.get(), status.st_mode & 07777) != 0) code = errno;
    if (code == 0 && futimens(out.get(), times.data()) != 0) code = errno;
    // Starts writing the copy out now, so that the sync that ends the run finds
    // little left to do. Only a hint: where it is not understood, the sync does it all.
    if (code == 0) (void)sync_file_range(out.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    const int closeCode = out.close();
    if (code == 0) code = closeCode;
    if (code != 0) {
        unlinkat(to.dir, to.name.c_str(), 0);
        fail("copy", from.path, code);
    }
}

void copySymlink(const At& from, const At& to, const struct stat& status) {
    std::vector<char> target(static_cast<std::size_t>(status.st_size) + 2);
    for (;;) {
        const ssize_t length = readlinkat(from.dir, from.name.c_str(), target.data(), target.size());
        if (length < 0) fail("copy the link", from.path, errno);
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            break;
        }
        target.resize(target.size() * 2);
    }
    const std::string text(target.begin(), target.end());
    if (symlinkat(text.c_str(), to.dir, to.name.c_str()) != 0)
        fail("copy the link " + quotedPath(from.path.string()) + " to", to.path, errno);
    const auto times = timesOf(status);
    // Some file systems refuse times on links; the link itself is what matters.
    (void)utimensat(to.dir, to.name.c_str(), times.data(), AT_SYMLINK_NOFOLLOW);
}

void copySpecialFile(const At& from, const At& to, const struct stat& status) {
    const int result = S_ISFIFO(status.st_mode) ? mkfifoat(to.dir, to.name.c_str(), status.st_mode & 07777)
                                                : mknodat(to.dir, to.name.c_str(), status.st_mode, status.st_rdev);
    if (result != 0) fail("copy the special file", from.path, errno);
    const auto times = timesOf(status);
    if (utimensat(to.dir, to.name.c_str(), times.data(), AT_SYMLINK_NOFOLLOW) != 0) {
        const int code = errno;
        unlinkat(to.dir, to.name.c_str(), 0);
        fail("copy the special file", from.path, code);
    }
}

void copyNonFolder(const At& from, const At& to, const struct stat& status, CopySource source) {
    if (S_ISLNK(status.st_mode)) {
        copySymlink(from, to, status);
    } else if (S_ISREG(status.st_mode)) {
        copyRegularFile(from, to, status, source);
    } else {
        copySpecialFile(from, to, status);
    }
}

FileIdentity identityOf(int fd, const Path& path) {
    struct stat status {};
    if (fstat(fd, &status) != 0) fail("copy the folder", path, errno);
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

// One folder of the copy. Only the deepest few keep their descriptors; the others are
// opened again through ".." on the way back up and must be the same folders, so a
// tree of any depth is copied with a bounded number of open files.
struct Level {
    FolderPair pair;
    FileIdentity sourceIdentity;
    FileIdentity targetIdentity;
    std::vector<FolderEntry> entries;
    std::size_t next = 0;
};

constexpr std::size_t kHeldLevels = 16;

Level levelFor(FolderPair pair) {
    Level level;
    level.sourceIdentity = identityOf(pair.source.get(), pair.from);
    level.targetIdentity = identityOf(pair.target.get(), pair.to);
    level.entries = readEntries(pair.source.get(), pair.from);
    level.pair = std::move(pair);
    return level;
}

FileDescriptor reopenParent(const FileDescriptor& child, const FileIdentity& expected, const Path& path) {
    FileDescriptor parent(openat(child.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.isOpen()) fail("copy the folder", path, errno);
    if (identityOf(parent.get(), path) != expected) {
        throw FileSystemError(EBUSY, path.string(),
                              "Could not copy the folder " + quotedPath(path.string()) + ": it was moved while being copied.");
    }
    return parent;
}

void copyTree(FolderPair root, CopySource source) {
    std::vector<Level> stack;
    stack.push_back(levelFor(std::move(root)));
    try {
        while (!stack.empty()) {
            const std::size_t top = stack.size() - 1;
            if (stack[top].next < stack[top].entries.size()) {
                const std::string name = stack[top].entries[stack[top].next++].name;
                const FolderPair& here = stack[top].pair;
                const At from{here.source.get(), name, here.from / name};
                const At to{here.target.get(), name, here.to / name};
                struct stat status {};
                if (fstatat(from.dir, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) fail("copy", from.path, errno);
                if (!S_ISDIR(status.st_mode)) {
                    copyNonFolder(from, to, status, source);
                    continue;
                }
                // Owner-only while filling, so that nobody sees a half-copied private
                // folder; the source's own bits are set once its content is in place.
                if (mkdirat(to.dir, name.c_str(), 0700) != 0)
                    fail("copy the folder " + quotedPath(from.path.string()) + " to", to.path, errno);
                Level child = levelFor(openFolderPair(from, to, status, source));
                if (stack.size() >= kHeldLevels) {
                    stack[stack.size() - kHeldLevels].pair.source.reset();
                    stack[stack.size() - kHeldLevels].pair.target.reset();
                }
                stack.push_back(std::move(child));
                continue;
            }
            if (top > 0 && !stack[top - 1].pair.source.isOpen()) {
                Level& parent = stack[top - 1];
                parent.pair.source = reopenParent(stack[top].pair.source, parent.sourceIdentity, parent.pair.from);
                parent.pair.target = reopenParent(stack[top].pair.target, parent.targetIdentity, parent.pair.to);
            }
            finishFolderPair(stack[top].pair);
            stack.pop_back();
        }
    } catch (...) {
        // Brindle's own folders opened up for the copy get their bits back.
        for (auto& level : stack) {
            if (level.pair.granted && level.pair.source.isOpen()) (void)fchmod(level.pair.source.get(), level.pair.grantedFrom);
        }
        throw;
    }
}

}  // namespace

FolderPair openFolderPair(const At& from, const At& to, const struct stat& status, CopySource source) {
    FolderPair pair;
    pair.from = from.path;
    pair.to = to.path;
    pair.status = status;
    const unsigned bits = status.st_mode & 07777;
    if (source == CopySource::own && canGrantAccess(status) && (bits & 0500) != 0500) {
        if (const int code = changeMode(from.dir, from.name.c_str(), bits | 0500); code != 0)
            fail("copy the folder", from.path, code);
        pair.granted = true;
        pair.grantedFrom = bits;
    }
    pair.source = openFolder(from.dir, from.name.c_str());
    if (!pair.source.isOpen()) {
        const int code = errno;
        if (pair.granted) (void)changeMode(from.dir, from.name.c_str(), bits);
        fail("copy the folder", from.path, code);
    }
    pair.target = openFolder(to.dir, to.name.c_str());
    if (!pair.target.isOpen()) {
        const int code = errno;
        finishFolderPair(pair);
        fail("copy the folder " + quotedPath(from.path.string()) + " to", to.path, code);
    }
    return pair;
}

void finishFolderPair(FolderPair& pair) {
    if (pair.granted && pair.source.isOpen()) {
        if (fchmod(pair.source.get(), pair.grantedFrom) != 0) fail("restore the bits of", pair.from, errno);
        pair.granted = false;
    }
    if (!pair.target.isOpen()) return;
    const auto times = timesOf(pair.status);
    if (fchmod(pair.target.get(), pair.status.st_mode & 07777) != 0) fail("set the permissions of", pair.to, errno);
    if (futimens(pair.target.get(), times.data()) != 0) fail("set the modification time of", pair.to, errno);
}

namespace {

void copyFolderAt(const At& from, const At& to, const struct stat& status, CopySource source, bool shareWork) {
    if (mkdirat(to.dir, to.name.c_str(), 0700) != 0)
        fail("copy the folder " + quotedPath(from.path.string()) + " to", to.path, errno);
    try {
        FolderPair pair = openFolderPair(from, to, status, source);
        if (shareWork) {
            copyFolderSharingWork(std::move(pair), source);
        } else {
            copyTree(std::move(pair), source);
        }
    } catch (const FileSystemError&) {
        // A half-copied tree that this call created goes; the error already names the
        // entry that failed.
        try {
            removeEntryAt(to.dir, to.name.c_str(), to.path);
        } catch (const FileSystemError&) {
        }
        throw;
    }
}

void copyAnything(const At& from, const At& to, CopySource source, bool shareWork) {
    struct stat status {};
    if (fstatat(from.dir, from.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) fail("copy", from.path, errno);
    if (S_ISDIR(status.st_mode)) {
        copyFolderAt(from, to, status, source, shareWork);
    } else {
        copyNonFolder(from, to, status, source);
    }
}

}  // namespace

void copyAt(const At& from, const At& to, CopySource source) { copyAnything(from, to, source, false); }

void copyAtSharingWork(const At& from, const At& to, CopySource source) { copyAnything(from, to, source, true); }

}  // namespace brindle::posix
