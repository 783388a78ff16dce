#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "BrindleCore/FileManager.h"

namespace brindle::testing {

// A program started in a process group of its own (with everything it starts, such
// as xvfb-run's X server), output to files. The destructor kills the whole group, so
// a failing test never leaves a tray or an X server behind.
class TrayProcess {
public:
    // `environment` entries replace the test's own; an empty value unsets.
    TrayProcess(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment,
                const Path& workingFolder);
    ~TrayProcess();
    TrayProcess(const TrayProcess&) = delete;
    TrayProcess& operator=(const TrayProcess&) = delete;

    // The exit status once the program has ended within `limit` (-1 if killed by a
    // signal), or nothing if it is still running.
    std::optional<int> waitFor(std::chrono::milliseconds limit);
    bool running();
    void killGroup();

    std::string out() const;
    std::string err() const;

private:
    int pid_ = -1;
    std::optional<int> status_;
    Path outFile_;
    Path errFile_;
};

// The absolute path of a program on PATH, or empty.
Path findOnPath(const std::string& name);

}  // namespace brindle::testing
