#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "BrindleCore/DirectoryWalk.h"
#include "BrindleCore/FileManager.h"
#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/PageCache.h"
#include "BrindleCore/PosixCopy.h"
#include "BrindleCore/PosixFolder.h"
#include "BrindleCore/PosixRemove.h"
#include "BrindleCore/PosixSync.h"

namespace brindle {

using posix::fail;
using posix::systemPath;

namespace {

[[noreturn]] void fileInTheWay(const Path& path) {
    throw FileSystemError(ENOTDIR, path.string(),
                          "Could not create the folder " + quotedPath(path.string()) + ": a file is in its place.");
}

}  // namespace

EntryInfo PosixFileManager::examine(const Path& path, Links links) {
    struct stat status {};
    const int result = links == Links::follow ? stat(systemPath(path), &status) : lstat(systemPath(path), &status);
    if (result == 0) return entryInfoFromStat(status);
    if (errno == ENOENT || errno == ENOTDIR) return {};
    fail("examine", path, errno);
}

void PosixFileManager::createDirectory(const Path& path, unsigned mode) {
    if (path.empty()) throw FileSystemError(ENOENT, "", "Could not create a folder: no path was given.");
    struct stat status {};
    if (stat(systemPath(path), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return;
        fileInTheWay(path);
    }
    const Path parent = path.parent_path();
    if (!parent.empty() && parent != path) createDirectory(parent, mode);
    if (mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0) return;
    const int code = errno;
    if (code == EEXIST) {
        if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return;
        fileInTheWay(path);
    }
    fail("create the folder", path, code);
}

std::vector<Path> PosixFileManager::contentsOfDirectory(const Path& path) {
    const posix::FileDescriptor fd(open(systemPath(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isOpen()) fail("list the folder", path, errno);
    std::vector<Path> entries;
    for (auto& entry : posix::readEntries(fd.get(), path)) entries.push_back(path / entry.name);
    return entries;
}

std::unique_ptr<DirectoryWalk> PosixFileManager::walk(const Path& root) { return makePosixDirectoryWalk(root); }

void PosixFileManager::copyItem(const Path& from, const Path& to, CopySource source) {
    posix::copyAtSharingWork(posix::At{AT_FDCWD, systemPath(from), from}, posix::At{AT_FDCWD, systemPath(to), to},
                             source);
}

void PosixFileManager::copyAttributes(const Path& from, const Path& to) {
    struct stat status {};
    if (stat(systemPath(from), &status) != 0) fail("read the attributes of", from, errno);
    if (chmod(systemPath(to), status.st_mode & 07777) != 0) fail("set the permissions of", to, errno);
    const timespec times[2] = {status.st_atim, status.st_mtim};
    if (utimensat(AT_FDCWD, to.c_str(), times, 0) != 0) fail("set the modification time of", to, errno);
}

void PosixFileManager::removeItem(const Path& path) { posix::removeEntry(path); }

void PosixFileManager::moveItem(const Path& from, const Path& to) {
    if (rename(systemPath(from), systemPath(to)) != 0) fail("move " + quotedPath(from.string()) + " to", to, errno);
}

bool PosixFileManager::exchangeItems(const Path& a, const Path& b) {
    if (renameat2(AT_FDCWD, systemPath(a), AT_FDCWD, systemPath(b), RENAME_EXCHANGE) == 0) return true;
    if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) return false;
    fail("swap " + quotedPath(a.string()) + " with", b, errno);
}

Path PosixFileManager::resolvingSymlinks(const Path& path) {
    char* resolved = realpath(systemPath(path), nullptr);
    if (resolved == nullptr) fail("resolve the links in", path, errno);
    Path result(resolved);
    std::free(resolved);
    return result;
}

std::string PosixFileManager::readLink(const Path& path) {
    std::vector<char> target(256);
    for (;;) {
        const ssize_t length = readlink(systemPath(path), target.data(), target.size());
        if (length < 0) fail("read the link", path, errno);
        if (static_cast<std::size_t>(length) < target.size()) return std::string(target.data(), static_cast<std::size_t>(length));
        target.resize(target.size() * 2);
    }
}

std::string PosixFileManager::readFile(const Path& path) {
    const posix::FileDescriptor fd(open(systemPath(path), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.isOpen()) fail("read", path, errno);
    struct stat status {};
    if (fstat(fd.get(), &status) != 0) fail("read", path, errno);
    if (!S_ISREG(status.st_mode)) fail("read", path, S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
    std::string contents;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = read(fd.get(), buffer.data(), buffer.size());
        if (got == 0) return contents;
        if (got < 0) {
            if (errno == EINTR) continue;
            fail("read", path, errno);
        }
        contents.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

void PosixFileManager::writeFileAtomically(const Path& path, std::string_view contents) {
    const Path folder = path.parent_path();
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "." + a temporary string.
    std::string hidden(".");
    hidden.append(path.filename().native()).append(".XXXXXX");
    std::string name = (folder / hidden).string();
    (void)systemPath(name);
    posix::FileDescriptor fd(mkostemp(name.data(), O_CLOEXEC));
    if (!fd.isOpen()) fail("write", path, errno);

    struct stat existing {};
    const mode_t mode = stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    int code = 0;
    for (std::size_t written = 0; code == 0 && written < contents.size();) {
        const ssize_t put = write(fd.get(), contents.data() + written, contents.size() - written);
        if (put < 0) {
            if (errno != EINTR) code = errno;
        } else {
            written += static_cast<std::size_t>(put);
        }
    }
    if (code == 0 && fchmod(fd.get(), mode) != 0) code = errno;
    if (code == 0 && fsync(fd.get()) != 0) code = errno;
    const int closeCode = fd.close();
    if (code == 0) code = closeCode;
    if (code == 0 && rename(name.c_str(), path.c_str()) != 0) code = errno;
    if (code != 0) {
        unlink(name.c_str());
        fail("write", path, code);
    }
    syncFolder(folder.empty() ? Path(".") : folder);
}

void PosixFileManager::syncTree(const Path& path) { posix::syncTree(path); }

void PosixFileManager::syncFolder(const Path& path) { posix::syncFolder(path); }

void PosixFileManager::dropCachedPages(const Path& path) { brindle::dropCachedPages(path); }

FileManager& sharedFileManager() {
    static PosixFileManager manager;
    return manager;
}

}  // namespace brindle
