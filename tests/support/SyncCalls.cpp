#include "tests/support/SyncCalls.h"

#include <dlfcn.h>

#include <filesystem>

namespace {

std::vector<std::string>* recording = nullptr;

template <class Function>
Function* libraryOwn(const char* name) {
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

void note(const char* call, int fd) {
    std::error_code unreadable;
    if (recording)
        recording->push_back(std::string(call) + " " +
                             std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), unreadable).string());
}

}  // namespace

extern "C" int fsync(int fd) {
    note("fsync", fd);
    static auto* const own = libraryOwn<int(int)>("fsync");
    return own(fd);
}

extern "C" int syncfs(int fd) {
    note("syncfs", fd);
    static auto* const own = libraryOwn<int(int)>("syncfs");
    return own(fd);
}

extern "C" int rename(const char* from, const char* to) {
    if (recording) recording->push_back(std::string("rename ") + from + " " + to);
    static auto* const own = libraryOwn<int(const char*, const char*)>("rename");
    return own(from, to);
}

namespace brindle::testing {

std::vector<std::string> syncCallsOf(const std::function<void()>& action) {
    std::vector<std::string> calls;
    recording = &calls;
    try {
        action();
    } catch (...) {
        recording = nullptr;
        throw;
    }
    recording = nullptr;
    return calls;
}

}  // namespace brindle::testing
