#include "tests/qt/TrayProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "BrindleCore/RandomUUID.h"
#include "tests/fakes/TemporaryFolder.h"

extern char** environ;

namespace brindle::testing {

TrayProcess::TrayProcess(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment,
                         const Path& workingFolder) {
    const std::string id = randomUUID();
    outFile_ = workingFolder / (".out-" + id);
    errFile_ = workingFolder / (".err-" + id);

    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        if (environment.count(text.substr(0, text.find('='))) == 0) env.push_back(text);
    }
    for (const auto& [key, value] : environment)
        if (!value.empty()) env.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = command;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);  // a new group, led by the child
    const int result = posix_spawn(&pid_, args.front().c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) throw std::runtime_error("could not start " + args.front());
}

TrayProcess::~TrayProcess() {
    killGroup();
    unlink(outFile_.c_str());
    unlink(errFile_.c_str());
}

std::optional<int> TrayProcess::waitFor(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!status_) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status_;
}

bool TrayProcess::running() {
    return !waitFor(std::chrono::milliseconds(0));
}

void TrayProcess::killGroup() {
    if (pid_ <= 0) return;
    // The group outlives its leader (xvfb-run's X server, the tray it started).
    ::kill(-pid_, SIGTERM);
    if (!waitFor(std::chrono::seconds(3))) ::kill(-pid_, SIGKILL);
    waitFor(std::chrono::seconds(5));
    ::kill(-pid_, SIGKILL);
}

std::string TrayProcess::out() const {
    return readFile(outFile_);
}

std::string TrayProcess::err() const {
    return readFile(errFile_);
}

Path findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty()) continue;
        const Path candidate = Path(folder) / name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

}  // namespace brindle::testing
