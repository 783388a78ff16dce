#include "tests/support/ProgramRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "BrindleCore/RandomUUID.h"
#include "tests/fakes/TemporaryFolder.h"

extern char** environ;

namespace brindle::testing {

RunningProgram::RunningProgram(const Path& program, const std::vector<std::string>& arguments,
                               const std::map<std::string, std::string>& environment, const Path& workingFolder) {
    const std::string id = randomUUID();
    outFile_ = workingFolder / (".out-" + id);
    errFile_ = workingFolder / (".err-" + id);

    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (environment.count(std::string(*entry).substr(0, std::string(*entry).find('='))) == 0) env.push_back(*entry);
    for (const auto& [key, value] : environment)
        if (!value.empty()) env.push_back(key + "=" + value);  // an empty value unsets
    // posix_spawn takes char* but changes neither list.
    std::vector<char*> envp, argv{const_cast<char*>(program.c_str())};
    for (auto& e : env) envp.push_back(e.data());
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    envp.push_back(nullptr);
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);  // a new group, led by the child
    const int result = posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) throw std::runtime_error("could not start " + program.string());
}

RunningProgram::~RunningProgram() {
    if (hasEnded()) return;
    // What the program started may outlive it in its group: the group has
    // three seconds to end before it is killed.
    ::kill(-pid_, SIGTERM);
    for (int look = 0; look < 150 && !hasEnded(); ++look) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::kill(-pid_, SIGKILL);
    wait();
}

bool RunningProgram::hasEnded() {
    int status = 0;
    if (!status_ && waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    return status_.has_value();
}

void RunningProgram::kill() {
    if (!hasEnded()) ::kill(pid_, SIGKILL);
}

std::string RunningProgram::errSoFar() const { return readFile(errFile_); }

ProgramOutcome RunningProgram::wait() {
    int status = status_.value_or(0);
    if (!status_) waitpid(pid_, &status, 0);
    status_ = status;
    ProgramOutcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(outFile_), readFile(errFile_)};
    unlink(outFile_.c_str());
    unlink(errFile_.c_str());
    return outcome;
}

}  // namespace brindle::testing
