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

enum class EntryType { none, regular, directory, symlink, special };

// Device and inode: identifies an entry whatever path (link, bind mount) reaches it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// What is at a path: its type (`none` when nothing is there), the size of a regular
// file or of a link's target text (0 for anything else), its permission bits and
// its identity.
struct EntryInfo {
    EntryType type = EntryType::none;
    std::uint64_t size = 0;
    unsigned mode = 0;
    FileIdentity identity;

    bool exists() const { return type != EntryType::none; }
    bool isDirectory() const { return type == EntryType::directory; }
};

// Whether a final symbolic link is followed to what it leads to.
enum class Links { follow, noFollow };

// Whose tree a copy reads. The user's own files are only ever read; a tree that
// Brindle made itself (a staged or published backup) may hold folders and files that
// the source's permission bits made unreadable even to their owner, and those are
// opened after giving the owner read access, which is taken back afterwards.
enum class CopySource { user, own };

struct WalkEntry {
    Path path;                 // the entry's location under the walk's root as given
    std::string relativePath;  // "/"-separated, from the root; never begins or ends with "/"
    EntryInfo info;
    // Not 0: the folder reported just before under this relative path could not be
    // (wholly) listed, for this errno; what could be listed of it was reported.
    int listingError = 0;
};

// A depth-first walk: each folder before its contents, hidden entries included,
// links reported and never entered. A folder that cannot be listed is reported once
// more, with its listingError, and the walk goes on.
class DirectoryWalk {
public:
    virtual ~DirectoryWalk() = default;
    virtual std::optional<WalkEntry> next() = 0;
    // Keeps the walk out of the folder reported last.
    virtual void skipDescendants() = 0;
};

// Every file access of Brindle goes through this interface, so that tests can put a
// fault-injecting or crash-modelling decorator in front of the real one. Every
// failure is thrown as a FileSystemError whose message names the path and the
// reason. Paths must not hold a NUL character: the system would cut them there.
class FileManager {
public:
    virtual ~FileManager() = default;

    // What is at the path, `none` when nothing is: "no such file", "not a folder" and,
    // when following, a link whose target is gone. Any other failure to examine the
    // path is thrown, so that "unreadable" is never taken for "absent".
    virtual EntryInfo examine(const Path& path, Links links = Links::follow) = 0;

    // Creates the folder and any missing parents; an existing folder is success.
    // `mode` applies to the folders created (before the umask).
    virtual void createDirectory(const Path& path, unsigned mode = 0777) = 0;
    // The folder's immediate entries, hidden ones included, in no particular order.
    virtual std::vector<Path> contentsOfDirectory(const Path& path) = 0;
    // Starts a walk of the folder at `root` (a link to a folder is resolved once).
    // Throws when the root itself cannot be opened.
    virtual std::unique_ptr<DirectoryWalk> walk(const Path& root) = 0;

    // Copies a file, a link as a link, a special file as a new special file, or a
    // folder with its whole content, keeping permission bits and modification times,
    // and starts writing it to the disk. Fails when something already exists at `to`.
    virtual void copyItem(const Path& from, const Path& to, CopySource source = CopySource::user) = 0;
    // Gives `to` the permission bits and modification time of what `from` leads to.
    virtual void copyAttributes(const Path& from, const Path& to) = 0;
    // Removes a file, a link, or a folder with everything in it. Folders that are
    // read-only or unreadable to their owner are opened up first: only ever call it
    // on Brindle's own trees.
    virtual void removeItem(const Path& path) = 0;
    // rename(2): `to` must not be a non-empty folder.
    virtual void moveItem(const Path& from, const Path& to) = 0;
    // Swaps two entries in one atomic step where the file system allows it; returns
    // false (changing nothing) where it does not.
    virtual bool exchangeItems(const Path& a, const Path& b) = 0;

    // The path with every symbolic link in it resolved.
    virtual Path resolvingSymlinks(const Path& path) = 0;
    // The target text of the symbolic link at `path`, as it was written.
    virtual std::string readLink(const Path& path) = 0;

    virtual std::string readFile(const Path& path) = 0;
    // Replaces the file in one step by the complete contents, or leaves it as it was;
    // the new file and its name are on stable storage when this returns.
    virtual void writeFileAtomically(const Path& path, std::string_view contents) = 0;

    // Puts every file and folder of the tree at `path` on stable storage (not the
    // tree's own name in its parent: that is syncFolder's of the parent).
    virtual void syncTree(const Path& path) = 0;
    // Puts the folder's entries (names created, renamed or removed in it) on stable
    // storage.
    virtual void syncFolder(const Path& path) = 0;

    // A hint that the files in the tree at `path` will not be read again soon: their
    // cached contents may go. Changes nothing on disk and never fails.
    virtual void dropCachedPages(const Path& path) = 0;
};

// The real POSIX implementation.
class PosixFileManager final : public FileManager {
public:
    EntryInfo examine(const Path& path, Links links = Links::follow) override;
    void createDirectory(const Path& path, unsigned mode = 0777) override;
    std::vector<Path> contentsOfDirectory(const Path& path) override;
    std::unique_ptr<DirectoryWalk> walk(const Path& root) override;
    void copyItem(const Path& from, const Path& to, CopySource source = CopySource::user) override;
    void copyAttributes(const Path& from, const Path& to) override;
    void removeItem(const Path& path) override;
    void moveItem(const Path& from, const Path& to) override;
    bool exchangeItems(const Path& a, const Path& b) override;
    Path resolvingSymlinks(const Path& path) override;
    std::string readLink(const Path& path) override;
    std::string readFile(const Path& path) override;
    void writeFileAtomically(const Path& path, std::string_view contents) override;
    void syncTree(const Path& path) override;
    void syncFolder(const Path& path) override;
    void dropCachedPages(const Path& path) override;
};

// The process-wide real file manager.
FileManager& sharedFileManager();

// "." and ".." components and redundant separators removed, without touching the disk;
// no trailing "/" except for the root itself.
Path standardized(const Path& path);

// Appends a "/"-separated relative path piece by piece; empty pieces are dropped, "."
// and ".." are appended as they are.
Path appendingRelativePath(const Path& base, std::string_view relativePath);

// True when `path` is `folder` or lies inside it, compared as text ("/a/bc" is not
// inside "/a/b"; everything is inside "/").
bool isSameOrInside(std::string_view path, std::string_view folder);

}  // namespace brindle
