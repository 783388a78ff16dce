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
    // Tells `enter`, then makes the call.
    template <class Call>
    decltype(auto) pass(const char* operation, const Path& path, Call call) {
        enter(operation, path);
        return call();
    }

    EntryInfo examine(const Path& p, Links links = Links::follow) override {
        return pass("examine", p, [&] { return inner_.examine(p, links); });
    }
    void createDirectory(const Path& p, unsigned mode = 0777) override {
        pass("createDirectory", p, [&] { inner_.createDirectory(p, mode); });
    }
    std::vector<Path> contentsOfDirectory(const Path& p) override {
        return pass("contentsOfDirectory", p, [&] { return inner_.contentsOfDirectory(p); });
    }
    std::unique_ptr<DirectoryWalk> walk(const Path& p) override {
        return pass("walk", p, [&] { return std::make_unique<Walk>(*this, inner_.walk(p), p); });
    }
    void copyItem(const Path& from, const Path& to, CopySource source = CopySource::user) override {
        pass("copyItem", from, [&] { inner_.copyItem(from, to, source); });
    }
    void copyAttributes(const Path& from, const Path& to) override {
        pass("copyAttributes", to, [&] { inner_.copyAttributes(from, to); });
    }
    void removeItem(const Path& p) override { pass("removeItem", p, [&] { inner_.removeItem(p); }); }
    void moveItem(const Path& from, const Path& to) override { pass("moveItem", from, [&] { inner_.moveItem(from, to); }); }
    bool exchangeItems(const Path& a, const Path& b) override {
        return pass("exchangeItems", a, [&] { return inner_.exchangeItems(a, b); });
    }
    Path resolvingSymlinks(const Path& p) override {
        return pass("resolvingSymlinks", p, [&] { return inner_.resolvingSymlinks(p); });
    }
    std::string readLink(const Path& p) override { return pass("readLink", p, [&] { return inner_.readLink(p); }); }
    std::string readFile(const Path& p) override { return pass("readFile", p, [&] { return inner_.readFile(p); }); }
    void writeFileAtomically(const Path& p, std::string_view contents) override {
        pass("writeFileAtomically", p, [&] { inner_.writeFileAtomically(p, contents); });
    }
    void syncTree(const Path& p) override { pass("syncTree", p, [&] { inner_.syncTree(p); }); }
    void syncFolder(const Path& p) override { pass("syncFolder", p, [&] { inner_.syncFolder(p); }); }
    // A hint that changes nothing: passed on without telling `enter`.
    void dropCachedPages(const Path& p) override { inner_.dropCachedPages(p); }

private:
    FileManager& inner_;

    class Walk final : public DirectoryWalk {
    public:
        Walk(ForwardingFileManager& owner, std::unique_ptr<DirectoryWalk> inner, Path root)
            : owner_(owner), inner_(std::move(inner)), root_(std::move(root)) {}
        std::optional<WalkEntry> next() override { return owner_.pass("walk.next", root_, [&] { return inner_->next(); }); }
        void skipDescendants() override { inner_->skipDescendants(); }

    private:
        ForwardingFileManager& owner_;
        std::unique_ptr<DirectoryWalk> inner_;
        Path root_;
    };
};

}  // namespace brindle::testing
