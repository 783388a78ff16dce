#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

using Path = std::filesystem::path;

enum class EntryType { regular, directory, symlink, special };

// What one lstat() says about an entry: its own type and size, never its link target's.
struct EntryInfo {
    EntryType type = EntryType::regular;
    std::optional<std::uint64_t> size;  // absent for folders and special files
    bool isDirectory() const { return type == EntryType::directory; }
};

// Device and inode: identifies a folder whatever path (link, bind mount) reaches it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct WalkEntry {
    Path path;                 // the entry's location under the walk's root as given
    std::string relativePath;  // "/"-separated, from the root; never begins or ends with "/"
    EntryInfo info;
};

// A depth-first walk: each folder before its contents, hidden entries included,
// links reported and never entered, folders that cannot be opened passed over.
class DirectoryWalk {
public:
    virtual ~DirectoryWalk() = default;
    virtual std::optional<WalkEntry> next() = 0;
    // Keeps the walk out of the folder reported last.
    virtual void skipDescendants() = 0;
};

// Every file access of Brindle goes through this interface, so that tests can put a
// fault-injecting decorator in front of the real one. Every failure is thrown as a
// FileSystemError whose message names the path and the reason.
class FileManager {
public:
    virtual ~FileManager() = default;

    // True when anything exists at the path; a final link is followed, so a dangling
    // link counts as nothing. Never throws.
    virtual bool fileExists(const Path& path) = 0;
    // The same, with the directory flag of the entry (a link to a folder is a folder).
    virtual bool fileExists(const Path& path, bool& isDirectory) = 0;
    // Like fileExists, but only "no such file", "not a folder" and a dangling final
    // link count as absent; any other failure to examine the path is thrown.
    virtual bool sourceExists(const Path& path) = 0;
    // lstat(): true when an entry, a dangling link included, is at the path itself.
    virtual bool entryExists(const Path& path) = 0;

    // Creates the folder and any missing parents; an existing folder is success.
    // `mode` applies to the folders created (before the umask).
    virtual void createDirectory(const Path& path, unsigned mode = 0777) = 0;
    // The folder's immediate entries, hidden ones included, in no particular order.
    virtual std::vector<Path> contentsOfDirectory(const Path& path) = 0;
    // Starts a walk of the folder at `root` (a link to a folder is resolved once).
    // Throws when the root itself cannot be opened.
    virtual std::unique_ptr<DirectoryWalk> walk(const Path& root) = 0;
    // The entry's own type and size.
    virtual EntryInfo entryInfo(const Path& path) = 0;
    // Identity of what the path leads to, links followed; absent when nothing is there.
    virtual std::optional<FileIdentity> identity(const Path& path) = 0;

    // Copies a file, a link as a link, a special file as a new special file, or a
    // folder with its whole content, keeping permission bits and modification times.
    // Fails when something already exists at `to`.
    virtual void copyItem(const Path& from, const Path& to) = 0;
    // Gives `to` the permission bits and modification time of what `from` leads to.
    virtual void copyAttributes(const Path& from, const Path& to) = 0;
    // Removes a file, a link, or a folder with everything in it.
    virtual void removeItem(const Path& path) = 0;
    // A hint that the files in the tree at `path` will not be read again soon: their
    // cached contents may go. Changes nothing on disk and never fails.
    virtual void dropCachedPages(const Path& path) = 0;
    // rename(2): `to` must not be a non-empty folder.
    virtual void moveItem(const Path& from, const Path& to) = 0;
    // Swaps two entries in one atomic step where the file system allows it; returns
    // false (changing nothing) where it does not.
    virtual bool exchangeItems(const Path& a, const Path& b) = 0;

    // The path with every symbolic link in it resolved.
    virtual Path resolvingSymlinks(const Path& path) = 0;

    virtual std::string readFile(const Path& path) = 0;
    // Replaces the file in one step by the complete contents, or leaves it as it was.
    virtual void writeFileAtomically(const Path& path, std::string_view contents) = 0;

    virtual Path homeDirectory() = 0;
    // The per-user application-support folders, first preferred (may be empty).
    virtual std::vector<Path> applicationSupportDirectories() = 0;
};

// The real POSIX implementation.
class PosixFileManager final : public FileManager {
public:
    bool fileExists(const Path& path) override;
    bool fileExists(const Path& path, bool& isDirectory) override;
    bool sourceExists(const Path& path) override;
    bool entryExists(const Path& path) override;
    void createDirectory(const Path& path, unsigned mode = 0777) override;
    std::vector<Path> contentsOfDirectory(const Path& path) override;
    std::unique_ptr<DirectoryWalk> walk(const Path& root) override;
    EntryInfo entryInfo(const Path& path) override;
    std::optional<FileIdentity> identity(const Path& path) override;
    void copyItem(const Path& from, const Path& to) override;
    void copyAttributes(const Path& from, const Path& to) override;
    void removeItem(const Path& path) override;
    void dropCachedPages(const Path& path) override;
    void moveItem(const Path& from, const Path& to) override;
    bool exchangeItems(const Path& a, const Path& b) override;
    Path resolvingSymlinks(const Path& path) override;
    std::string readFile(const Path& path) override;
    void writeFileAtomically(const Path& path, std::string_view contents) override;
    Path homeDirectory() override;
    std::vector<Path> applicationSupportDirectories() override;
};

// The process-wide real file manager.
FileManager& sharedFileManager();

// "." and ".." components and redundant separators removed, without touching the disk;
// no trailing "/" except for the root itself.
Path standardized(const Path& path);

// Appends a "/"-separated relative path piece by piece; empty pieces are dropped, "."
// and ".." are appended as they are.
Path appendingRelativePath(const Path& base, std::string_view relativePath);

}  // namespace brindle
