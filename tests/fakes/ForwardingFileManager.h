#pragma once

#include <memory>
#include <string>

#include "BrindleCore/FileManager.h"

namespace brindle::testing {

// Passes every call to another file manager, after telling `enter` about it (the
// operation's name, and the path it concerns: the source of a copy or a move, the
// target of copyAttributes; the walk's next() as "walk.next"). The test decorators
// build on it, overriding only what they change.
class ForwardingFileManager : public FileManager {
public:
    explicit ForwardingFileManager(FileManager& inner) : inner_(inner) {}
    virtual void enter(const std::string& operation, const Path& path) = 0;  // may throw

    EntryInfo examine(const Path& path, Links links = Links::follow) override {
        enter("examine", path);
        return inner_.examine(path, links);
    }
    void createDirectory(const Path& path, unsigned mode = 0777) override {
        enter("createDirectory", path);
        inner_.createDirectory(path, mode);
    }
    std::vector<Path> contentsOfDirectory(const Path& path) override {
        enter("contentsOfDirectory", path);
        return inner_.contentsOfDirectory(path);
    }
    std::unique_ptr<DirectoryWalk> walk(const Path& root) override {
        enter("walk", root);
        return std::make_unique<Walk>(*this, inner_.walk(root), root);
    }
    void copyItem(const Path& from, const Path& to, CopySource source = CopySource::user) override {
        enter("copyItem", from);
        inner_.copyItem(from, to, source);
    }
    void copyAttributes(const Path& from, const Path& to) override {
        enter("copyAttributes", to);
        inner_.copyAttributes(from, to);
    }
    void removeItem(const Path& path) override {
        enter("removeItem", path);
        inner_.removeItem(path);
    }
    void moveItem(const Path& from, const Path& to) override {
        enter("moveItem", from);
        inner_.moveItem(from, to);
    }
    bool exchangeItems(const Path& a, const Path& b) override {
        enter("exchangeItems", a);
        return inner_.exchangeItems(a, b);
    }
    Path resolvingSymlinks(const Path& path) override {
        enter("resolvingSymlinks", path);
        return inner_.resolvingSymlinks(path);
    }
    std::string readLink(const Path& path) override {
        enter("readLink", path);
        return inner_.readLink(path);
    }
    std::string readFile(const Path& path) override {
        enter("readFile", path);
        return inner_.readFile(path);
    }
    void writeFileAtomically(const Path& path, std::string_view contents) override {
        enter("writeFileAtomically", path);
        inner_.writeFileAtomically(path, contents);
    }
    void syncTree(const Path& path) override {
        enter("syncTree", path);
        inner_.syncTree(path);
    }
    void syncFolder(const Path& path) override {
        enter("syncFolder", path);
        inner_.syncFolder(path);
    }
    // A hint that changes nothing: passed on without telling `enter`.
    void dropCachedPages(const Path& path) override { inner_.dropCachedPages(path); }

protected:
    FileManager& inner_;

private:
    class Walk final : public DirectoryWalk {
    public:
        Walk(ForwardingFileManager& owner, std::unique_ptr<DirectoryWalk> inner, Path root)
            : owner_(owner), inner_(std::move(inner)), root_(std::move(root)) {}
        std::optional<WalkEntry> next() override {
            owner_.enter("walk.next", root_);
            return inner_->next();
        }
        void skipDescendants() override { inner_->skipDescendants(); }

    private:
        ForwardingFileManager& owner_;
        std::unique_ptr<DirectoryWalk> inner_;
        Path root_;
    };
};

}  // namespace brindle::testing
