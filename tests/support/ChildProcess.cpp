#include "tests/support/ChildProcess.h"

#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <optional>
#include <utility>

namespace brindle::testing {

namespace {

constexpr int kUnavailable = 77;

// `setUp` returns why the child cannot be had on this machine, or "" when it is ready.
ChildOutcome runChild(const std::function<std::string()>& setUp, const std::function<std::string()>& body) {
    int fds[2];
    if (pipe(fds) != 0) return {false, "pipe"};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        std::string text;
        int code = 1;
        try {
            text = setUp();
            if (text.empty()) text = body();
            else code = kUnavailable;
        } catch (const std::exception& error) {  // any other kind ends the child abnormally
            text = std::string("exception: ") + error.what();
        }
        if (text.empty()) code = 0;
        (void)!write(fds[1], text.data(), text.size());
        _exit(code);
    }
    close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(got));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status)) return {true, "the child did not exit normally: " + text};
    return {WEXITSTATUS(status) != kUnavailable, WEXITSTATUS(status) == 0 ? "" : (text.empty() ? "failed" : text)};
}

// The user id and group id of nobody when the tests are root; none, the tests' own
// user, otherwise.
std::optional<std::pair<uid_t, gid_t>> otherUser() {
    if (geteuid() != 0) return std::nullopt;
    const passwd* nobody = getpwnam("nobody");
    return std::pair<uid_t, gid_t>{nobody ? nobody->pw_uid : 65534, nobody ? nobody->pw_gid : 65534};
}

}  // namespace

ChildOutcome inChildProcess(const std::function<std::string()>& body) {
    return runChild([] { return ""; }, body);
}

ChildOutcome withPrivateTmpfs(const Path& mountPoint, const std::string& size, const std::function<std::string()>& body) {
    return runChild(
        [&]() -> std::string {
            if (unshare(CLONE_NEWNS) != 0) return "unshare";
            if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return "make / private";
            return mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0 ? "" : "mount tmpfs";
        },
        body);
}

void handOver(const Path& folder) {
    const auto user = otherUser();
    if (!user) return;
    std::vector<Path> paths{folder};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) paths.push_back(entry.path());
    for (const Path& path : paths)
        if (lchown(path.c_str(), user->first, user->second) != 0) throw std::runtime_error("could not hand over " + path.string());
}

ChildOutcome asUnprivilegedUser(const std::function<std::string()>& body) {
    const auto user = otherUser();
    return runChild(
        [&]() -> std::string {
            const bool became = !user || (setgroups(0, nullptr) == 0 && setresgid(user->second, user->second, user->second) == 0 &&
                                          setresuid(user->first, user->first, user->first) == 0);
            return became ? "" : "could not become the unprivileged user";
        },
        body);
}

std::vector<std::string> unprivilegedCommand(const Path& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> command;
    if (const auto user = otherUser())
        command = {"/usr/bin/setpriv", "--reuid=" + std::to_string(user->first), "--regid=" + std::to_string(user->second),
                   "--clear-groups", "--"};
    command.push_back(program.string());
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

}  // namespace brindle::testing
