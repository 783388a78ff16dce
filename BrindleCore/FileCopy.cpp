#include "BrindleCore/FileCopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "BrindleCore/Concurrently.h"
#include "BrindleCore/FileSystemError.h"

namespace brindle {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    int get() const { return fd_; }
    // Closes and reports the close's own error, which some file systems use for a
    // write that could not be completed.
    int closeReportingError() {
        int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

[[noreturn]] void fail(const std::string& action, const Path& path, int code) {
    throw FileSystemError::fromErrno(action, path.string(), code);
}

std::array<timespec, 2> timesOf(const struct stat& status) { return {status.st_atim, status.st_mtim}; }

// An entry named relative to an open folder (AT_FDCWD and a full path at the top),
// with its full path kept for messages. Working relative to folders keeps the copy
// independent of how long the paths grow, and spares the kernel walking them again
// for every entry.
struct At {
    int dir;
    std::string name;
    Path path;
};

// Returns 0 or the errno of the failed copy of the contents.
int copyContents(int in, int out, const struct stat& status) {
    if (ioctl(out, FICLONE, in) == 0) return 0;

    bool kernelCopyWorks = true;
    bool copiedAnything = false;
    off_t total = 0;
    while (kernelCopyWorks) {
        ssize_t copied = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
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
            kernelCopyWorks = false;
            break;
        }
        if (errno == EINTR) continue;
        if (!copiedAnything && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                                errno == EBADF || errno == EPERM)) {
            kernelCopyWorks = false;
            break;
        }
        return errno;
    }

    std::vector<char> buffer(1 << 17);
    for (;;) {
        ssize_t got = read(in, buffer.data(), buffer.size());
        if (got == 0) return 0;
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        for (ssize_t written = 0; written < got;) {
            ssize_t put = write(out, buffer.data() + written, static_cast<std::size_t>(got - written));
            if (put < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            written += put;
        }
    }
}

void copyRegularFile(const At& from, const At& to) {
    // O_NONBLOCK: if the entry was swapped for a FIFO since it was examined, opening it
    // must not hang the run.
    FileDescriptor in(openat(from.dir, from.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (in.get() < 0) fail("copy", from.path, errno);
    struct stat status {};
    if (fstat(in.get(), &status) != 0) fail("copy", from.path, errno);
    if (!S_ISREG(status.st_mode)) {
        throw FileSystemError(EINVAL, from.path.string(),
                              "Could not copy " + quoted(from.path.string()) + ": it was replaced while being copied.");
    }
    FileDescriptor out(openat(to.dir, to.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0) fail("copy " + quoted(from.path.string()) + " to", to.path, errno);

    int code = copyContents(in.get(), out.get(), status);
    auto times = timesOf(status);
    if (code == 0 && fchmod(out.get(), status.st_mode & 07777) != 0) code = errno;
    if (code == 0 && futimens(out.get(), times.data()) != 0) code = errno;
    int closeCode = out.closeReportingError();
    if (code == 0) code = closeCode;
    if (code != 0) {
        unlinkat(to.dir, to.name.c_str(), 0);
        fail("copy", from.path, code);
    }
}

void copySymlink(const At& from, const At& to, const struct stat& status) {
    std::vector<char> target(static_cast<std::size_t>(status.st_size) + 2);
    for (;;) {
        ssize_t length = readlinkat(from.dir, from.name.c_str(), target.data(), target.size());
        if (length < 0) fail("copy the link", from.path, errno);
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            break;
        }
        target.resize(target.size() * 2);
    }
    std::string text(target.begin(), target.end());
    if (symlinkat(text.c_str(), to.dir, to.name.c_str()) != 0)
        fail("copy the link " + quoted(from.path.string()) + " to", to.path, errno);
    auto times = timesOf(status);
    // Some file systems refuse times on links; the link itself is what matters.
    (void)utimensat(to.dir, to.name.c_str(), times.data(), AT_SYMLINK_NOFOLLOW);
}

void copySpecialFile(const At& from, const At& to, const struct stat& status) {
    int result = S_ISFIFO(status.st_mode) ? mkfifoat(to.dir, to.name.c_str(), status.st_mode & 07777)
                                          : mknodat(to.dir, to.name.c_str(), status.st_mode, status.st_rdev);
    if (result != 0) fail("copy the special file", from.path, errno);
    auto times = timesOf(status);
    if (utimensat(to.dir, to.name.c_str(), times.data(), AT_SYMLINK_NOFOLLOW) != 0) {
        int code = errno;
        unlinkat(to.dir, to.name.c_str(), 0);
        fail("copy the special file", from.path, code);
    }
}

void copyAt(const At& from, const At& to, bool shareWork = false);

// The folder's entries with the type the listing gives (DT_UNKNOWN where it gives none).
std::vector<std::pair<std::string, unsigned char>> listFolder(int folderFd, const Path& path) {
    std::vector<std::pair<std::string, unsigned char>> names;
    int listing = dup(folderFd);
    DIR* dir = listing < 0 ? nullptr : fdopendir(listing);
    if (dir == nullptr) {
        int code = errno;
        if (listing >= 0) close(listing);
        fail("list the folder", path, code);
    }
    for (;;) {
        errno = 0;
        dirent* entry = readdir(dir);
        if (entry == nullptr) {
            int code = errno;
            closedir(dir);
            if (code != 0) fail("list the folder", path, code);
            return names;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        names.emplace_back(entry->d_name, entry->d_type);
    }
}

// Both ends of a folder being copied, open.
struct OpenFolders {
    FileDescriptor source;
    FileDescriptor target;
};

OpenFolders openFolders(const At& from, const At& to) {
    OpenFolders folders{FileDescriptor(openat(from.dir, from.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)),
                        FileDescriptor()};
    if (folders.source.get() < 0) fail("copy the folder", from.path, errno);
    folders.target = FileDescriptor(openat(to.dir, to.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folders.target.get() < 0) fail("copy the folder " + quoted(from.path.string()) + " to", to.path, errno);
    return folders;
}

void setFolderAttributes(int targetFd, const Path& path, const struct stat& status) {
    auto times = timesOf(status);
    if (fchmod(targetFd, status.st_mode & 07777) != 0) fail("set the permissions of", path, errno);
    if (futimens(targetFd, times.data()) != 0) fail("set the modification time of", path, errno);
}

// `to` has just been made by this copy; fills it, then gives it the source's bits.
void copyDirectoryTree(const At& from, const At& to, const struct stat& status) {
    OpenFolders folders = openFolders(from, to);
    for (const auto& [name, type] : listFolder(folders.source.get(), from.path))
        copyAt(At{folders.source.get(), name, from.path / name}, At{folders.target.get(), name, to.path / name});
    setFolderAttributes(folders.target.get(), to.path, status);
}

// Enough pieces for two threads to share a tree evenly whatever its shape, few enough
// that holding them (and their folders open) costs next to nothing.
constexpr std::size_t kMostPieces = 64;

// The same as copyDirectoryTree, with the work shared by the run's threads: the tree's
// first levels are opened out, breadth first, into pieces (entries copied whole) until
// there are enough to keep both threads busy; the pieces are copied side by side, and
// the folders opened out get their bits last, deepest first, once nothing more is
// created in them.
void copyDirectoryTreeConcurrently(const At& from, const At& to, const struct stat& status) {
    struct Folder {
        OpenFolders ends;
        Path from;
        Path to;
        struct stat status;
    };
    struct Piece {
        const Folder* parent;
        std::string name;
        unsigned char type;
    };
    std::vector<std::unique_ptr<Folder>> folders;
    std::vector<Piece> pieces;
    auto openOut = [&](OpenFolders ends, Path fromPath, Path toPath, const struct stat& folderStatus) {
        folders.push_back(std::make_unique<Folder>(Folder{std::move(ends), std::move(fromPath), std::move(toPath), folderStatus}));
        const Folder* folder = folders.back().get();
        for (auto& [name, type] : listFolder(folder->ends.source.get(), folder->from))
            pieces.push_back(Piece{folder, std::move(name), type});
    };
    openOut(openFolders(from, to), from.path, to.path, status);

    for (std::size_t next = 0; next < pieces.size() && pieces.size() < kMostPieces; ++next) {
        if (pieces[next].type != DT_DIR) continue;
        const Piece piece = pieces[next];
        const At source{piece.parent->ends.source.get(), piece.name, piece.parent->from / piece.name};
        const At target{piece.parent->ends.target.get(), piece.name, piece.parent->to / piece.name};
        struct stat folderStatus {};
        if (fstatat(source.dir, source.name.c_str(), &folderStatus, AT_SYMLINK_NOFOLLOW) != 0)
            fail("copy", source.path, errno);
        if (!S_ISDIR(folderStatus.st_mode)) continue;  // replaced since it was listed: copied whole as it is now
        if (mkdirat(target.dir, target.name.c_str(), 0700) != 0)
            fail("copy the folder " + quoted(source.path.string()) + " to", target.path, errno);
        pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(next--));
        openOut(openFolders(source, target), source.path, target.path, folderStatus);
    }

    std::vector<std::function<void()>> tasks;
    tasks.reserve(pieces.size());
    for (const auto& piece : pieces) {
        tasks.emplace_back([&piece] {
            copyAt(At{piece.parent->ends.source.get(), piece.name, piece.parent->from / piece.name},
                   At{piece.parent->ends.target.get(), piece.name, piece.parent->to / piece.name});
        });
    }
    runConcurrently(tasks);
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
        setFolderAttributes((*folder)->ends.target.get(), (*folder)->to, (*folder)->status);
}

void removeAt(int parentFd, const char* name, const Path& path, unsigned char type);

// `shareWork`: a folder's copy is shared between the run's threads (only the outermost
// call asks for it, so that the threads are not multiplied at every level).
void copyAt(const At& from, const At& to, bool shareWork) {
    struct stat status {};
    if (fstatat(from.dir, from.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) fail("copy", from.path, errno);
    if (S_ISDIR(status.st_mode)) {
        // Owner-only while filling, so that nobody sees a half-copied private folder;
        // the source's own bits are set once its content is in place.
        if (mkdirat(to.dir, to.name.c_str(), 0700) != 0)
            fail("copy the folder " + quoted(from.path.string()) + " to", to.path, errno);
        try {
            if (shareWork)
                copyDirectoryTreeConcurrently(from, to, status);
            else
                copyDirectoryTree(from, to, status);
        } catch (const FileSystemError&) {
            // A half-copied tree that this call created goes; the error already names
            // the entry that failed.
            try {
                removeAt(to.dir, to.name.c_str(), to.path, DT_DIR);
            } catch (const FileSystemError&) {
            }
            throw;
        }
    } else if (S_ISLNK(status.st_mode)) {
        copySymlink(from, to, status);
    } else if (S_ISREG(status.st_mode)) {
        copyRegularFile(from, to);
    } else {
        copySpecialFile(from, to, status);
    }
}

// `type` is what the listing said the entry was (DT_UNKNOWN when not known). Anything
// but a folder is unlinked straight away, and only an entry that turns out to be a
// folder is opened and emptied: a removal costs one call per file, not two.
void removeAt(int parentFd, const char* name, const Path& path, unsigned char type) {
    if (type != DT_DIR) {
        if (unlinkat(parentFd, name, 0) == 0 || errno == ENOENT) return;  // gone already: what removal wants
        if (errno != EISDIR) fail("remove", path, errno);
    }
    int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return;
        // Listed as a folder but replaced by a file or a link since.
        if (errno == ENOTDIR || errno == ELOOP) {
            if (unlinkat(parentFd, name, 0) == 0 || errno == ENOENT) return;
        }
        fail("remove", path, errno);
    }
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        int code = errno;
        close(fd);
        fail("remove", path, code);
    }
    std::vector<std::pair<std::string, unsigned char>> children;
    for (;;) {
        errno = 0;
        dirent* entry = readdir(dir);
        if (entry == nullptr) break;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        children.emplace_back(entry->d_name, entry->d_type);
    }
    try {
        for (const auto& [child, childType] : children) removeAt(dirfd(dir), child.c_str(), path / child, childType);
    } catch (...) {
        closedir(dir);
        throw;
    }
    closedir(dir);
    if (unlinkat(parentFd, name, AT_REMOVEDIR) != 0 && errno != ENOENT) fail("remove", path, errno);
}

}  // namespace

void copyEntry(const Path& from, const Path& to) {
    copyAt(At{AT_FDCWD, from.string(), from}, At{AT_FDCWD, to.string(), to}, true);
}

void removeEntry(const Path& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) fail("remove", path, errno);
    Path parent = path.parent_path();
    std::string name = path.filename().string();
    if (parent.empty()) parent = ".";
    int parentFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) fail("remove", path, errno);
    try {
        removeAt(parentFd, name.c_str(), path, S_ISDIR(status.st_mode) ? DT_DIR : DT_UNKNOWN);
    } catch (...) {
        close(parentFd);
        throw;
    }
    close(parentFd);
}

}  // namespace brindle
