#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "BrindleCore/FileSystemError.h"
#include "tests/fakes/ForwardingFileManager.h"

namespace brindle::testing {

// What every call throws once a simulated crash has happened: not a std::exception,
// so that no handler of the code under test takes it for an ordinary failure.
struct SimulatedCrash {};

// Passes every call to a real file manager, counting them, and makes chosen ones fail
// as the system would, with a FileSystemError for an errno value.
class FaultInjectingFileManager final : public ForwardingFileManager {
public:
    // `refuseExchange` answers every swap as a file system without RENAME_EXCHANGE would.
    explicit FaultInjectingFileManager(FileManager& inner, bool refuseExchange = false)
        : ForwardingFileManager(inner), refuseExchange_(refuseExchange) {}

    // Calls of `operation` (e.g. "copyItem", "walk.next") whose path
    // contains `pathPart` fail with `code`: every one, or only the first `times`.
    void failWhen(std::string operation, std::string pathPart, int code, int times = -1) {
        std::lock_guard lock(mutex_);
        faults_.push_back({std::move(operation), std::move(pathPart), code, times});
    }
    // Set before the run. The call with this number (0-based, counted from
    // construction) fails with this errno.
    std::optional<std::pair<std::size_t, int>> failingCall;
    // The process "dies" after the call with this number: every later call throws
    // SimulatedCrash, so nothing after that step happens, clean-up included.
    std::optional<std::size_t> crashAfter;

    // Runs before every call, outside the fake's lock; tests use it to change the tree
    // during a run. A run makes calls from more than one thread.
    std::function<void(const std::string& operation, const Path& path)> beforeEach;

    bool exchangeItems(const Path& a, const Path& b) override {
        return refuseExchange_ ? pass("exchangeItems", a, [] { return false; }) : ForwardingFileManager::exchangeItems(a, b);
    }
    std::size_t callCount() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void enter(const std::string& operation, const Path& path) override {
        if (beforeEach) beforeEach(operation, path);
        std::lock_guard lock(mutex_);
        const std::size_t number = calls_++;
        if (crashAfter && number > *crashAfter) throw SimulatedCrash{};
        int code = failingCall && failingCall->first == number ? failingCall->second : 0;
        for (auto& fault : faults_) {
            if (fault.times != 0 && fault.operation == operation && path.string().find(fault.pathPart) != std::string::npos) {
                code = fault.code;
                if (fault.times > 0) --fault.times;
            }
        }
        if (code != 0) throw FileSystemError::fromErrno("do " + operation + " on", path.string(), code);
    }

private:
    struct Fault {
        std::string operation;
        std::string pathPart;
        int code;
        int times;
    };
    const bool refuseExchange_;
    mutable std::mutex mutex_;
    std::vector<Fault> faults_;
    std::size_t calls_ = 0;
};

}  // namespace brindle::testing
