#include "BrindleCore/DirectoryWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "BrindleCore/FileSystemError.h"

namespace brindle {

EntryInfo entryInfoFromStat(const struct stat& status) {
    EntryInfo info;
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
    PosixDirectoryWalk(const Path& root, DIR* rootDir) : root_(root) { stack_.push_back({rootDir, root, ""}); }

    ~PosixDirectoryWalk() override {
        for (auto& level : stack_) closedir(level.dir);
    }

    std::optional<WalkEntry> next() override {
        descendIntoPending();
        while (!stack_.empty()) {
            Level& level = stack_.back();
            errno = 0;
            dirent* entry = readdir(level.dir);
            if (entry == nullptr) {
                // End of the folder, or a read error: either way nothing more can be
                // listed here, and unreadable entries are passed over.
                closedir(level.dir);
                stack_.pop_back();
                continue;
            }
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            struct stat status {};
            if (fstatat(dirfd(level.dir), name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
            WalkEntry result;
            result.path = level.path / name;
            result.relativePath = level.relative.empty() ? std::string(name) : level.relative + "/" + name;
            result.info = entryInfoFromStat(status);
            if (result.info.isDirectory()) {
                pending_ = Pending{dirfd(level.dir), name, result.path, result.relativePath};
            }
            return result;
        }
        return std::nullopt;
    }

    void skipDescendants() override { pending_.reset(); }

private:
    struct Level {
        DIR* dir;
        Path path;
        std::string relative;
    };
    struct Pending {
        int parentFd;
        std::string name;
        Path path;
        std::string relative;
    };

    void descendIntoPending() {
        if (!pending_) return;
        Pending pending = std::move(*pending_);
        pending_.reset();
        int fd = openat(pending.parentFd, pending.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            // An unreadable folder deeper in the tree is passed over; running out of
            // file descriptors or memory is not the folder's fault and must not quietly
            // drop the rest of a very deep tree from the backup.
            if (isExhaustion(errno)) throw FileSystemError::fromErrno("open the folder", pending.path.string(), errno);
            return;
        }
        DIR* dir = fdopendir(fd);
        if (dir == nullptr) {
            int code = errno;
            close(fd);
            if (isExhaustion(code)) throw FileSystemError::fromErrno("open the folder", pending.path.string(), code);
            return;
        }
        stack_.push_back({dir, std::move(pending.path), std::move(pending.relative)});
    }

    Path root_;
    std::vector<Level> stack_;
    std::optional<Pending> pending_;
};

}  // namespace

std::unique_ptr<DirectoryWalk> makePosixDirectoryWalk(const Path& root) {
    // The root's own links are resolved once by opening it with links followed.
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw FileSystemError::fromErrno("open the folder", root.string(), errno);
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        int code = errno;
        close(fd);
        throw FileSystemError::fromErrno("open the folder", root.string(), code);
    }
    return std::make_unique<PosixDirectoryWalk>(root, dir);
}

}  // namespace brindle
