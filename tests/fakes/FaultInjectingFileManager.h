#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/fakes/ForwardingFileManager.h"

namespace brindle::testing {

// What every call throws once a simulated crash has happened: not a std::exception,
// so that no handler of the code under test takes it for an ordinary failure.
struct SimulatedCrash {};

// Passes every call to a real file manager, counting and logging them, and makes
// chosen ones fail as the system would, with a FileSystemError for an errno value.
class FaultInjectingFileManager final : public ForwardingFileManager {
public:
    using ForwardingFileManager::ForwardingFileManager;

    // Calls of `operation` (e.g. "copyItem", "walk.next"; "*" for any) whose path
    // contains `pathPart` fail with `code`: every one, or only the first `times`.
    void failWhen(std::string operation, std::string pathPart, int code, int times = -1);
    // Only the call with this number (0-based, counted from construction).
    void failCallNumber(std::size_t number, int code);
    // The process "dies" after the call with this number: every later call throws
    // SimulatedCrash, so nothing after that step happens, clean-up included.
    void crashAfterCall(std::size_t number);
    void clearFaults();

    // Runs before every call, outside the fake's lock; tests use it to change the tree
    // during a run. A run makes calls from more than one thread.
    std::function<void(const std::string& operation, const Path& path)> beforeEach;

    // Answers every swap as a file system without RENAME_EXCHANGE would.
    bool refuseExchange = false;
    bool exchangeItems(const Path& a, const Path& b) override;

    std::size_t callCount() const;
    // Read once the run is over.
    const std::vector<std::string>& log() const { return log_; }

    void enter(const std::string& operation, const Path& path) override;

private:
    struct Fault {
        std::string operation;
        std::string pathPart;
        int code;
        int times;
    };
    mutable std::mutex mutex_;
    std::vector<Fault> faults_;
    std::optional<std::pair<std::size_t, int>> numberedFault_;
    std::optional<std::size_t> crashAfter_;
    std::size_t calls_ = 0;
    std::vector<std::string> log_;
};

}  // namespace brindle::testing
