#include "tests/fakes/FaultInjectingFileManager.h"

#include "BrindleCore/FileSystemError.h"

namespace brindle::testing {

namespace {

class FaultInjectingWalk final : public DirectoryWalk {
public:
    FaultInjectingWalk(FaultInjectingFileManager& owner, std::unique_ptr<DirectoryWalk> inner, Path root)
        : owner_(owner), inner_(std::move(inner)), root_(std::move(root)) {}
    std::optional<WalkEntry> next() override {
        owner_.check("walk.next", root_);
        return inner_->next();
    }
    void skipDescendants() override { inner_->skipDescendants(); }

private:
    FaultInjectingFileManager& owner_;
    std::unique_ptr<DirectoryWalk> inner_;
    Path root_;
};

}  // namespace

void FaultInjectingFileManager::failWhen(std::string operation, std::string pathPart, int code, int times) {
    std::lock_guard lock(mutex_);
    faults_.push_back({std::move(operation), std::move(pathPart), code, times});
}

void FaultInjectingFileManager::failCallNumber(std::size_t number, int code) {
    std::lock_guard lock(mutex_);
    numberedFault_ = {number, code};
}

void FaultInjectingFileManager::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    numberedFault_.reset();
}

void FaultInjectingFileManager::check(const std::string& operation, const Path& path, bool failable) {
    if (beforeEach) beforeEach(operation, path);
    std::lock_guard lock(mutex_);
    log_.push_back(operation + " " + path.string());
    if (!failable) return;
    const std::size_t number = failableCalls_++;
    int code = 0;
    if (numberedFault_ && numberedFault_->first == number) code = numberedFault_->second;
    for (auto& fault : faults_) {
        if (fault.times != 0 && (fault.operation == "*" || fault.operation == operation) &&
            path.string().find(fault.pathPart) != std::string::npos) {
            code = fault.code;
            if (fault.times > 0) --fault.times;
        }
    }
    if (code != 0) throw FileSystemError::fromErrno("do " + operation + " on", path.string(), code);
}

std::size_t FaultInjectingFileManager::failableCallCount() const {
    std::lock_guard lock(mutex_);
    return failableCalls_;
}

bool FaultInjectingFileManager::fileExists(const Path& path) {
    check("fileExists", path, false);
    return inner_.fileExists(path);
}
bool FaultInjectingFileManager::fileExists(const Path& path, bool& isDirectory) {
    check("fileExists", path, false);
    return inner_.fileExists(path, isDirectory);
}
bool FaultInjectingFileManager::sourceExists(const Path& path) {
    check("sourceExists", path);
    return inner_.sourceExists(path);
}
bool FaultInjectingFileManager::entryExists(const Path& path) {
    check("entryExists", path, false);
    return inner_.entryExists(path);
}
void FaultInjectingFileManager::createDirectory(const Path& path, unsigned mode) {
    check("createDirectory", path);
    inner_.createDirectory(path, mode);
}
std::vector<Path> FaultInjectingFileManager::contentsOfDirectory(const Path& path) {
    check("contentsOfDirectory", path);
    return inner_.contentsOfDirectory(path);
}
std::unique_ptr<DirectoryWalk> FaultInjectingFileManager::walk(const Path& root) {
    check("walk", root);
    return std::make_unique<FaultInjectingWalk>(*this, inner_.walk(root), root);
}
EntryInfo FaultInjectingFileManager::entryInfo(const Path& path) {
    check("entryInfo", path);
    return inner_.entryInfo(path);
}
std::optional<FileIdentity> FaultInjectingFileManager::identity(const Path& path) {
    check("identity", path, false);
    return inner_.identity(path);
}
void FaultInjectingFileManager::copyItem(const Path& from, const Path& to) {
    check("copyItem", from);
    inner_.copyItem(from, to);
}
void FaultInjectingFileManager::copyAttributes(const Path& from, const Path& to) {
    check("copyAttributes", to);
    inner_.copyAttributes(from, to);
}
void FaultInjectingFileManager::dropCachedPages(const Path& path) {
    check("dropCachedPages", path, false);
    inner_.dropCachedPages(path);
}

void FaultInjectingFileManager::removeItem(const Path& path) {
    check("removeItem", path);
    inner_.removeItem(path);
}
void FaultInjectingFileManager::moveItem(const Path& from, const Path& to) {
    check("moveItem", from);
    inner_.moveItem(from, to);
}
bool FaultInjectingFileManager::exchangeItems(const Path& a, const Path& b) {
    check("exchangeItems", a);
    return !refuseExchange && inner_.exchangeItems(a, b);
}
Path FaultInjectingFileManager::resolvingSymlinks(const Path& path) {
    check("resolvingSymlinks", path);
    return inner_.resolvingSymlinks(path);
}
std::string FaultInjectingFileManager::readFile(const Path& path) {
    check("readFile", path);
    return inner_.readFile(path);
}
void FaultInjectingFileManager::writeFileAtomically(const Path& path, std::string_view contents) {
    check("writeFileAtomically", path);
    inner_.writeFileAtomically(path, contents);
}
Path FaultInjectingFileManager::homeDirectory() {
    check("homeDirectory", "", false);
    return inner_.homeDirectory();
}
std::vector<Path> FaultInjectingFileManager::applicationSupportDirectories() {
    check("applicationSupportDirectories", "", false);
    return inner_.applicationSupportDirectories();
}

}  // namespace brindle::testing
