#include "tests/fakes/ForwardingFileManager.h"

namespace brindle::testing {

namespace {

class ForwardingWalk final : public DirectoryWalk {
public:
    ForwardingWalk(ForwardingFileManager& owner, std::unique_ptr<DirectoryWalk> inner, Path root)
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

}  // namespace

EntryInfo ForwardingFileManager::examine(const Path& path, Links links) {
    enter("examine", path);
    return inner_.examine(path, links);
}
void ForwardingFileManager::createDirectory(const Path& path, unsigned mode) {
    enter("createDirectory", path);
    inner_.createDirectory(path, mode);
}
std::vector<Path> ForwardingFileManager::contentsOfDirectory(const Path& path) {
    enter("contentsOfDirectory", path);
    return inner_.contentsOfDirectory(path);
}
std::unique_ptr<DirectoryWalk> ForwardingFileManager::walk(const Path& root) {
    enter("walk", root);
    return std::make_unique<ForwardingWalk>(*this, inner_.walk(root), root);
}
void ForwardingFileManager::copyItem(const Path& from, const Path& to, CopySource source) {
    enter("copyItem", from);
    inner_.copyItem(from, to, source);
}
void ForwardingFileManager::copyAttributes(const Path& from, const Path& to) {
    enter("copyAttributes", to);
    inner_.copyAttributes(from, to);
}
void ForwardingFileManager::removeItem(const Path& path) {
    enter("removeItem", path);
    inner_.removeItem(path);
}
void ForwardingFileManager::moveItem(const Path& from, const Path& to) {
    enter("moveItem", from);
    inner_.moveItem(from, to);
}
bool ForwardingFileManager::exchangeItems(const Path& a, const Path& b) {
    enter("exchangeItems", a);
    return inner_.exchangeItems(a, b);
}
Path ForwardingFileManager::resolvingSymlinks(const Path& path) {
    enter("resolvingSymlinks", path);
    return inner_.resolvingSymlinks(path);
}
std::string ForwardingFileManager::readLink(const Path& path) {
    enter("readLink", path);
    return inner_.readLink(path);
}
std::string ForwardingFileManager::readFile(const Path& path) {
    enter("readFile", path);
    return inner_.readFile(path);
}
void ForwardingFileManager::writeFileAtomically(const Path& path, std::string_view contents) {
    enter("writeFileAtomically", path);
    inner_.writeFileAtomically(path, contents);
}
void ForwardingFileManager::syncTree(const Path& path) {
    enter("syncTree", path);
    inner_.syncTree(path);
}
void ForwardingFileManager::syncFolder(const Path& path) {
    enter("syncFolder", path);
    inner_.syncFolder(path);
}

}  // namespace brindle::testing
