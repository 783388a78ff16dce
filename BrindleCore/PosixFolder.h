#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "BrindleCore/FileManager.h"

// The small set of POSIX primitives the file layer is built from. Internal to the core.
namespace brindle::posix {

// An owned file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // Gives up ownership.
    int release() { return std::exchange(fd_, -1); }
    void reset();
    // Closes and returns 0 or the close's own errno, which some file systems use for a
    // write that could not be completed.
    int close();

private:
    int fd_;
};

// Throws the FileSystemError for a failed action ("copy", "create the folder") on a path.
[[noreturn]] void fail(const std::string& action, const Path& path, int code);

// The path as the system takes it; throws when it holds a NUL character, at which the
// system would cut it and act on another path.
const char* systemPath(const Path& path);

struct FolderEntry {
    std::string name;
    unsigned char type;  // DT_DIR, DT_REG, ... or DT_UNKNOWN where the listing gives none
};

// The entries of the open folder but "." and "..". The folder's descriptor stays
// open and usable. Returns 0, or the errno of a listing that failed part-way (the
// entries read until then are in `entries`).
int readEntries(int folderFd, std::vector<FolderEntry>& entries);
// The same, throwing "Could not list the folder …" on failure.
std::vector<FolderEntry> readEntries(int folderFd, const Path& path);

// Opens a folder relative to an open one (AT_FDCWD for a path), never through a link.
FileDescriptor openFolder(int parentFd, const char* name);

// True when the process is the entry's owner but not root: only then can it, and
// must it, give itself access that the entry's bits deny.
bool canGrantAccess(const struct stat& status);
// chmod of an entry of an open folder that is known not to be a link.
int changeMode(int parentFd, const char* name, unsigned mode);

// The entry reported by a listing, with its full path kept for messages.
struct Visit {
    int parentFd;
    const char* name;
    Path path;
    unsigned char type;
};

// Walks the tree below the folder `name` of `parentFd` depth first without ever
// holding more than a few dozen folders open, however deep the tree is: `entry` is
// called for each entry that is not a folder, `leave` for each folder once its
// entries are done (with the folder still open as `folderFd`). Folders the owner
// cannot read or change are opened up first when `grantAccess`. Throws the first
// failure, naming its path.
struct TreeVisitor {
    std::function<void(const Visit&)> entry;
    std::function<void(const Visit&, int folderFd)> leave;
    bool grantAccess = false;
};
void visitTree(int parentFd, const char* name, const Path& path, const TreeVisitor& visitor);

}  // namespace brindle::posix
