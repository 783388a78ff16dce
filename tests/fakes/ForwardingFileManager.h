#pragma once

#include <memory>
#include <string>

#include "BrindleCore/FileManager.h"

namespace brindle::testing {

// Passes every call to another file manager, after telling `enter` about it (the walk's
// next() included, as "walk.next"). The test decorators build on it, overriding only
// what they change.
class ForwardingFileManager : public FileManager {
public:
    explicit ForwardingFileManager(FileManager& inner) : inner_(inner) {}

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
    // A hint that changes nothing: passed on without telling `enter`.
    void dropCachedPages(const Path& path) override { inner_.dropCachedPages(path); }

    // Called before each call with the operation's name and the path it concerns
    // (the source of a copy or move, the target of copyAttributes). May throw.
    virtual void enter(const std::string& operation, const Path& path) = 0;

protected:
    FileManager& inner_;
};

}  // namespace brindle::testing
