#include "BrindleCore/PosixFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "BrindleCore/FileSystemError.h"

namespace brindle::posix {

void FileDescriptor::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int FileDescriptor::close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
}

void fail(const std::string& action, const Path& path, int code) {
    throw FileSystemError::fromErrno(action, path.string(), code);
}

const char* systemPath(const Path& path) {
    const std::string& text = path.native();
    if (text.find('\0') != std::string::npos) {
        std::string shown = text;
        for (char& c : shown) {
            if (c == '\0') c = '?';
        }
        throw FileSystemError(EINVAL, shown,
                              "The path " + brindle::quotedPath(shown) +
                                  " holds a NUL character (shown as \u201C?\u201D), which no file name can hold.");
    }
    return text.c_str();
}

int readEntries(int folderFd, std::vector<FolderEntry>& entries) {
    // A duplicate, so that closing the stream leaves the caller's descriptor open.
    const int listing = fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = listing < 0 ? nullptr : fdopendir(listing);
    if (dir == nullptr) {
        const int code = errno;
        if (listing >= 0) ::close(listing);
        return code;
    }
    rewinddir(dir);  // the duplicate shares the position of any earlier listing
    int code = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (entry == nullptr) {
            code = errno;
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        entries.push_back({entry->d_name, entry->d_type});
    }
    closedir(dir);
    return code;
}

std::vector<FolderEntry> readEntries(int folderFd, const Path& path) {
    std::vector<FolderEntry> entries;
    if (const int code = readEntries(folderFd, entries); code != 0) fail("list the folder", path, code);
    return entries;
}

FileDescriptor openFolder(int parentFd, const char* name) {
    return FileDescriptor(openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool canGrantAccess(const struct stat& status) {
    const uid_t self = geteuid();
    return self != 0 && status.st_uid == self;
}

int changeMode(int parentFd, const char* name, unsigned mode) {
    if (fchmodat(parentFd, name, static_cast<mode_t>(mode), AT_SYMLINK_NOFOLLOW) == 0) return 0;
    // Without /proc the C library cannot honour the flag; the entry is known not to be
    // a link, so the plain call does the same.
    if (errno != ENOTSUP && errno != EOPNOTSUPP) return errno;
    return fchmodat(parentFd, name, static_cast<mode_t>(mode), 0) == 0 ? 0 : errno;
}

namespace {

// A folder of the walk. Only the deepest few keep their descriptor; the others are
// opened again through ".." on the way back up, and must be the same folder.
struct Level {
    FileDescriptor fd;
    FileIdentity identity;
    std::string name;
    Path path;
    std::vector<FolderEntry> entries;
    std::size_t next = 0;
    unsigned grantedFrom = 0;  // the bits before access was granted; 0 when none was
    bool granted = false;
};

constexpr std::size_t kHeldLevels = 32;

FileIdentity identityOf(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

Level openLevel(int parentFd, const std::string& name, Path path, const TreeVisitor& visitor) {
    Level level;
    level.name = name;
    level.path = std::move(path);
    level.fd = openFolder(parentFd, name.c_str());
    struct stat status {};
    if (!level.fd.isOpen() && errno == EACCES && visitor.grantAccess &&
        fstatat(parentFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && canGrantAccess(status)) {
        if (const int code = changeMode(parentFd, name.c_str(), (status.st_mode & 07777) | 0700); code != 0)
            fail("open up the folder", level.path, code);
        level.granted = true;
        level.grantedFrom = status.st_mode & 07777;
        level.fd = openFolder(parentFd, name.c_str());
    }
    if (!level.fd.isOpen()) fail("open the folder", level.path, errno);
    if (fstat(level.fd.get(), &status) != 0) fail("open the folder", level.path, errno);
    level.identity = identityOf(status);
    if (visitor.grantAccess && !level.granted && canGrantAccess(status) && (status.st_mode & 0700) != 0700) {
        // Readable but not writable or searchable: its entries could not be reached.
        if (fchmod(level.fd.get(), (status.st_mode & 07777) | 0700) != 0) fail("open up the folder", level.path, errno);
        level.granted = true;
        level.grantedFrom = status.st_mode & 07777;
    }
    level.entries = readEntries(level.fd.get(), level.path);
    return level;
}

void reopenThroughChild(Level& parent, const Level& child) {
    parent.fd = FileDescriptor(openat(child.fd.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat status {};
    if (!parent.fd.isOpen() || fstat(parent.fd.get(), &status) != 0) fail("open the folder", parent.path, errno);
    if (identityOf(status) != parent.identity) {
        throw FileSystemError(EBUSY, parent.path.string(),
                              "Could not finish with the folder " + quotedPath(parent.path.string()) +
                                  ": it was moved while Brindle was working in it.");
    }
}

bool isFolder(int parentFd, const FolderEntry& entry) {
    if (entry.type != DT_UNKNOWN) return entry.type == DT_DIR;
    struct stat status {};
    return fstatat(parentFd, entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

void visitTree(int parentFd, const char* name, const Path& path, const TreeVisitor& visitor) {
    std::vector<Level> stack;
    stack.push_back(openLevel(parentFd, name, path, visitor));
    while (!stack.empty()) {
        const std::size_t top = stack.size() - 1;
        if (stack[top].next < stack[top].entries.size()) {
            const FolderEntry entry = stack[top].entries[stack[top].next++];
            Path entryPath = stack[top].path / entry.name;
            if (!isFolder(stack[top].fd.get(), entry)) {
                visitor.entry(Visit{stack[top].fd.get(), entry.name.c_str(), entryPath, entry.type});
                continue;
            }
            Level child = openLevel(stack[top].fd.get(), entry.name, std::move(entryPath), visitor);
            if (stack.size() >= kHeldLevels) stack[stack.size() - kHeldLevels].fd.reset();
            stack.push_back(std::move(child));
            continue;
        }
        Level& level = stack[top];
        if (top > 0 && !stack[top - 1].fd.isOpen()) reopenThroughChild(stack[top - 1], level);
        if (level.granted && fchmod(level.fd.get(), level.grantedFrom) != 0) fail("restore the bits of", level.path, errno);
        const int outer = top > 0 ? stack[top - 1].fd.get() : parentFd;
        visitor.leave(Visit{outer, level.name.c_str(), level.path, DT_DIR}, level.fd.get());
        stack.pop_back();
    }
}

}  // namespace brindle::posix
