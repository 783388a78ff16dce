#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <cstring>
#include <vector>

#include "BrindleCore/DirectoryWalk.h"
#include "BrindleCore/FileCopy.h"
#include "BrindleCore/PageCache.h"
#include "BrindleCore/FileManager.h"
#include "BrindleCore/FileSystemError.h"

namespace brindle {

namespace {

[[noreturn]] void fail(const std::string& action, const Path& path, int code) {
    throw FileSystemError::fromErrno(action, path.string(), code);
}

int fsyncFolder(const Path& folder) {
    int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int code = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    // Some file systems cannot sync a folder; the rename is done all the same.
    return code == EINVAL ? 0 : code;
}

}  // namespace

bool PosixFileManager::fileExists(const Path& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

bool PosixFileManager::fileExists(const Path& path, bool& isDirectory) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return false;
    isDirectory = S_ISDIR(status.st_mode);
    return true;
}

bool PosixFileManager::sourceExists(const Path& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) == 0) return true;
    if (errno == ENOENT || errno == ENOTDIR) return false;
    fail("examine", path, errno);
}

bool PosixFileManager::entryExists(const Path& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

void PosixFileManager::createDirectory(const Path& path, unsigned mode) {
    if (path.empty()) throw FileSystemError(ENOENT, "", "Could not create a folder: no path was given.");
    struct stat status {};
    if (stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return;
        throw FileSystemError(ENOTDIR, path.string(),
                              "Could not create the folder " + quoted(path.string()) + ": a file is in its place.");
    }
    Path parent = path.parent_path();
    if (!parent.empty() && parent != path) createDirectory(parent, mode);
    if (mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0) return;
    int code = errno;
    if (code == EEXIST && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return;
    if (code == EEXIST) {
        throw FileSystemError(ENOTDIR, path.string(),
                              "Could not create the folder " + quoted(path.string()) + ": a file is in its place.");
    }
    fail("create the folder", path, code);
}

std::vector<Path> PosixFileManager::contentsOfDirectory(const Path& path) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) fail("list the folder", path, errno);
    std::vector<Path> entries;
    for (;;) {
        errno = 0;
        dirent* entry = readdir(dir);
        if (entry == nullptr) {
            int code = errno;
            closedir(dir);
            if (code != 0) fail("list the folder", path, code);
            return entries;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        entries.push_back(path / entry->d_name);
    }
}

std::unique_ptr<DirectoryWalk> PosixFileManager::walk(const Path& root) { return makePosixDirectoryWalk(root); }

EntryInfo PosixFileManager::entryInfo(const Path& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) fail("read the attributes of", path, errno);
    return entryInfoFromStat(status);
}

std::optional<FileIdentity> PosixFileManager::identity(const Path& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

void PosixFileManager::copyItem(const Path& from, const Path& to) { copyEntry(from, to); }

void PosixFileManager::copyAttributes(const Path& from, const Path& to) {
    struct stat status {};
    if (stat(from.c_str(), &status) != 0) fail("read the attributes of", from, errno);
    if (chmod(to.c_str(), status.st_mode & 07777) != 0) fail("set the permissions of", to, errno);
    const timespec times[2] = {status.st_atim, status.st_mtim};
    if (utimensat(AT_FDCWD, to.c_str(), times, 0) != 0) fail("set the modification time of", to, errno);
}

void PosixFileManager::removeItem(const Path& path) { removeEntry(path); }

void PosixFileManager::dropCachedPages(const Path& path) { brindle::dropCachedPages(path); }

void PosixFileManager::moveItem(const Path& from, const Path& to) {
    if (rename(from.c_str(), to.c_str()) != 0) fail("move " + quoted(from.string()) + " to", to, errno);
}

bool PosixFileManager::exchangeItems(const Path& a, const Path& b) {
    if (renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return true;
    if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) return false;
    fail("swap " + quoted(a.string()) + " with", b, errno);
}

Path PosixFileManager::resolvingSymlinks(const Path& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) fail("resolve the links in", path, errno);
    Path result(resolved);
    std::free(resolved);
    return result;
}

std::string PosixFileManager::readFile(const Path& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) fail("read", path, errno);
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        int code = S_ISDIR(status.st_mode) ? EISDIR : (errno ? errno : EINVAL);
        close(fd);
        fail("read", path, code);
    }
    std::string contents;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t got = read(fd, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            int code = errno;
            close(fd);
            fail("read", path, code);
        }
        contents.append(buffer.data(), static_cast<std::size_t>(got));
    }
    close(fd);
    return contents;
}

void PosixFileManager::writeFileAtomically(const Path& path, std::string_view contents) {
    Path folder = path.parent_path();
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "." + a temporary string.
    std::string hidden(".");
    hidden.append(path.filename().native()).append(".XXXXXX");
    std::string pattern = (folder / hidden).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) fail("write", path, errno);
    Path temporary(name.data());

    struct stat existing {};
    mode_t mode = stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    int code = 0;
    for (std::size_t written = 0; code == 0 && written < contents.size();) {
        ssize_t put = write(fd, contents.data() + written, contents.size() - written);
        if (put < 0) {
            if (errno != EINTR) code = errno;
        } else {
            written += static_cast<std::size_t>(put);
        }
    }
    if (code == 0 && fchmod(fd, mode) != 0) code = errno;
    if (code == 0 && fsync(fd) != 0) code = errno;
    if (close(fd) != 0 && code == 0) code = errno;
    if (code == 0 && rename(temporary.c_str(), path.c_str()) != 0) code = errno;
    if (code != 0) {
        unlink(temporary.c_str());
        fail("write", path, code);
    }
    if ((code = fsyncFolder(folder)) != 0) fail("write", path, code);
}

Path PosixFileManager::homeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return standardized(Path(home));
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return standardized(Path(found->pw_dir));
    }
    return Path("/");
}

std::vector<Path> PosixFileManager::applicationSupportDirectories() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return {standardized(Path(config))};
    return {homeDirectory() / ".config"};
}

FileManager& sharedFileManager() {
    static PosixFileManager manager;
    return manager;
}

}  // namespace brindle
