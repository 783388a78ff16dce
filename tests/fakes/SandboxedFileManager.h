#pragma once

#include "BrindleCore/FileManager.h"

namespace brindle::testing {

// Passes everything to another file manager but puts the home folder and the
// application-support folder where the test says, so that the code under test finds
// its settings file inside a temporary folder.
class SandboxedFileManager final : public FileManager {
public:
    SandboxedFileManager(FileManager& inner, Path home, Path applicationSupport)
        : inner_(inner), home_(std::move(home)), applicationSupport_(std::move(applicationSupport)) {}

    bool fileExists(const Path& path) override { return inner_.fileExists(path); }
    bool fileExists(const Path& path, bool& isDirectory) override { return inner_.fileExists(path, isDirectory); }
    bool sourceExists(const Path& path) override { return inner_.sourceExists(path); }
    bool entryExists(const Path& path) override { return inner_.entryExists(path); }
    void createDirectory(const Path& path, unsigned mode = 0777) override { inner_.createDirectory(path, mode); }
    std::vector<Path> contentsOfDirectory(const Path& path) override { return inner_.contentsOfDirectory(path); }
    std::unique_ptr<DirectoryWalk> walk(const Path& root) override { return inner_.walk(root); }
    EntryInfo entryInfo(const Path& path) override { return inner_.entryInfo(path); }
    std::optional<FileIdentity> identity(const Path& path) override { return inner_.identity(path); }
    void copyItem(const Path& from, const Path& to) override { inner_.copyItem(from, to); }
    void copyAttributes(const Path& from, const Path& to) override { inner_.copyAttributes(from, to); }
    void removeItem(const Path& path) override { inner_.removeItem(path); }
    void dropCachedPages(const Path& path) override { inner_.dropCachedPages(path); }
    void moveItem(const Path& from, const Path& to) override { inner_.moveItem(from, to); }
    bool exchangeItems(const Path& a, const Path& b) override { return inner_.exchangeItems(a, b); }
    Path resolvingSymlinks(const Path& path) override { return inner_.resolvingSymlinks(path); }
    std::string readFile(const Path& path) override { return inner_.readFile(path); }
    void writeFileAtomically(const Path& path, std::string_view contents) override {
        inner_.writeFileAtomically(path, contents);
    }
    Path homeDirectory() override { return home_; }
    std::vector<Path> applicationSupportDirectories() override { return {applicationSupport_}; }

private:
    FileManager& inner_;
    Path home_;
    Path applicationSupport_;
};

}  // namespace brindle::testing
