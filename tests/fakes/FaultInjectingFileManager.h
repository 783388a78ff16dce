#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "BrindleCore/FileManager.h"

namespace brindle::testing {

// Passes every call to a real file manager, counting and logging them, and makes
// chosen ones fail as the system would, with a FileSystemError for an errno value.
// Operations that cannot fail by contract (fileExists, entryExists, identity,
// dropCachedPages) are
// counted but never failed.
class FaultInjectingFileManager final : public FileManager {
public:
    explicit FaultInjectingFileManager(FileManager& inner) : inner_(inner) {}

    // Calls of `operation` (e.g. "copyItem", "walk.next"; "*" for any) whose path
    // contains `pathPart` fail with `code`: every one, or only the first `times`.
    void failWhen(std::string operation, std::string pathPart, int code, int times = -1);
    // Only the failable call with this number (0-based, counted from construction).
    void failCallNumber(std::size_t number, int code);
    void clearFaults();

    // Runs before every call, outside the fake's lock; tests use it to change the tree
    // during a run. A run makes calls from more than one thread.
    std::function<void(const std::string& operation, const Path& path)> beforeEach;

    // Answers every swap as a file system without RENAME_EXCHANGE would.
    bool refuseExchange = false;

    std::size_t failableCallCount() const;
    // Read once the run is over.
    const std::vector<std::string>& log() const { return log_; }

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

    // Used by the wrapped walk.
    void check(const std::string& operation, const Path& path, bool failable = true);

private:
    struct Fault {
        std::string operation;
        std::string pathPart;
        int code;
        int times;
    };
    FileManager& inner_;
    mutable std::mutex mutex_;
    std::vector<Fault> faults_;
    std::optional<std::pair<std::size_t, int>> numberedFault_;
    std::size_t failableCalls_ = 0;
    std::vector<std::string> log_;
};

}  // namespace brindle::testing
