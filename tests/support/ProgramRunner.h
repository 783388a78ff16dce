#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "BrindleCore/FileManager.h"

namespace brindle::testing {

struct ProgramOutcome {
    int exitStatus = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// A started program whose output goes to files; wait() collects it. It runs in a
// process group of its own, with everything it starts:
// one that has not been waited for is killed with its group when this goes.
class RunningProgram {
public:
    // `environment` entries replace the test's own; an empty value unsets.
    RunningProgram(const Path& program, const std::vector<std::string>& arguments,
                   const std::map<std::string, std::string>& environment, const Path& workingFolder);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    ProgramOutcome wait();
    bool hasEnded();
    // Ends it at once, as a crash or a power cut would (SIGKILL).
    void kill();
    std::string errSoFar() const;

private:
    int pid_ = -1;
    std::optional<int> status_;
    Path outFile_;
    Path errFile_;
};

}  // namespace brindle::testing
