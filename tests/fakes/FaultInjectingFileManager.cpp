#include "tests/fakes/FaultInjectingFileManager.h"

#include "BrindleCore/FileSystemError.h"

namespace brindle::testing {

void FaultInjectingFileManager::failWhen(std::string operation, std::string pathPart, int code, int times) {
    std::lock_guard lock(mutex_);
    faults_.push_back({std::move(operation), std::move(pathPart), code, times});
}

void FaultInjectingFileManager::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

void FaultInjectingFileManager::enter(const std::string& operation, const Path& path) {
    if (beforeEach) beforeEach(operation, path);
    std::lock_guard lock(mutex_);
    const std::size_t number = calls_++;
    if (crashAfter && number > *crashAfter) throw SimulatedCrash{};
    int code = failingCall && failingCall->first == number ? failingCall->second : 0;
    for (auto& fault : faults_) {
        if (fault.times != 0 && (fault.operation == "*" || fault.operation == operation) &&
            path.string().find(fault.pathPart) != std::string::npos) {
            code = fault.code;
            if (fault.times > 0) --fault.times;
        }
    }
    if (code != 0) throw FileSystemError::fromErrno("do " + operation + " on", path.string(), code);
}

bool FaultInjectingFileManager::exchangeItems(const Path& a, const Path& b) {
    if (!refuseExchange_) return ForwardingFileManager::exchangeItems(a, b);
    enter("exchangeItems", a);
    return false;
}

std::size_t FaultInjectingFileManager::callCount() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

}  // namespace brindle::testing
