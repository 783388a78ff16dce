#include "BrindleCore/DirectoryWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/PosixFolder.h"

namespace brindle {

EntryInfo entryInfoFromStat(const struct stat& status) {
    EntryInfo info;
    info.mode = status.st_mode & 07777;
    info.identity = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
    if (S_ISDIR(status.st_mode)) {
        info.type = EntryType::directory;
    } else if (S_ISLNK(status.st_mode)) {
        info.type = EntryType::symlink;
        info.size = static_cast<std::uint64_t>(status.st_size);
    } else if (S_ISREG(status.st_mode)) {
        info.type = EntryType::regular;
        info.size = static_cast<std::uint64_t>(status.st_size);
    } else {
        info.type = EntryType::special;
    }
    return info;
}

namespace {

bool isExhaustion(int code) { return code == EMFILE || code == ENFILE || code == ENOMEM; }

class PosixDirectoryWalk final : public DirectoryWalk {
public:
    PosixDirectoryWalk(Path root, DIR* rootDir) : root_(std::move(root)) { stack_.push_back({rootDir, WalkEntry{}}); }

    ~PosixDirectoryWalk() override {
        for (auto& level : stack_) closedir(level.dir);
    }

    std::optional<WalkEntry> next() override {
        if (auto failed = descendIntoPending()) return failed;
        while (!stack_.empty()) {
            Level& level = stack_.back();
            errno = 0;
            const dirent* entry = readdir(level.dir);
            if (entry == nullptr) {
                const int code = errno;
                closedir(level.dir);
                WalkEntry folder = std::move(level.folder);
                stack_.pop_back();
                // A folder that failed part-way says so; the walk goes on with the rest.
                if (code != 0 && !stack_.empty()) return failure(std::move(folder), code);
                if (code != 0) throw FileSystemError::fromErrno("list the folder", root_.string(), code);
                continue;
            }
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            struct stat status {};
            if (fstatat(dirfd(level.dir), name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone since listed
            WalkEntry result;
            result.path = (stack_.size() == 1 ? root_ : level.folder.path) / name;
            result.relativePath = level.folder.relativePath.empty() ? std::string(name)
                                                                     : level.folder.relativePath + "/" + name;
            result.info = entryInfoFromStat(status);
            if (result.info.isDirectory()) pending_ = Pending{dirfd(level.dir), name, result};
            return result;
        }
        return std::nullopt;
    }

    void skipDescendants() override { pending_.reset(); }

private:
    struct Level {
        DIR* dir;
        WalkEntry folder;  // as it was reported; the root's is empty
    };
    struct Pending {
        int parentFd;
        std::string name;
        WalkEntry folder;
    };

    static WalkEntry failure(WalkEntry folder, int code) {
        folder.listingError = code;
        return folder;
    }

    std::optional<WalkEntry> descendIntoPending() {
        if (!pending_) return std::nullopt;
        Pending pending = std::move(*pending_);
        pending_.reset();
        const int fd = openat(pending.parentFd, pending.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
        if (dir == nullptr) {
            const int code = errno;
            if (fd >= 0) close(fd);
            // Running out of file descriptors or memory is not the folder's fault and
            // must not quietly drop the rest of a very deep tree from the backup.
            if (isExhaustion(code)) throw FileSystemError::fromErrno("open the folder", pending.folder.path.string(), code);
            return failure(std::move(pending.folder), code);
        }
        stack_.push_back({dir, std::move(pending.folder)});
        return std::nullopt;
    }

    Path root_;
    std::vector<Level> stack_;
    std::optional<Pending> pending_;
};

}  // namespace

std::unique_ptr<DirectoryWalk> makePosixDirectoryWalk(const Path& root) {
    // The root's own links are resolved once by opening it with links followed.
    const int fd = open(posix::systemPath(root), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (dir == nullptr) {
        const int code = errno;
        if (fd >= 0) close(fd);
        throw FileSystemError::fromErrno("open the folder", root.string(), code);
    }
    return std::make_unique<PosixDirectoryWalk>(root, dir);
}

}  // namespace brindle
