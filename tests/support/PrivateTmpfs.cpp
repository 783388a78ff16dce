#include "tests/support/PrivateTmpfs.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>

namespace brindle::testing {

namespace {
constexpr int kUnavailable = 77;
}

PrivateTmpfsOutcome withPrivateTmpfs(const Path& mountPoint, const std::string& size,
                                     const std::function<std::string()>& body) {
    int fds[2];
    if (pipe(fds) != 0) return {false, "pipe"};
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        auto finish = [&](const std::string& text, int code) {
            (void)!write(fds[1], text.data(), text.size());
            _exit(code);
        };
        if (unshare(CLONE_NEWNS) != 0) finish("unshare", kUnavailable);
        if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) finish("make / private", kUnavailable);
        if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) finish("mount tmpfs", kUnavailable);
        try {
            std::string failure = body();
            finish(failure, failure.empty() ? 0 : 1);
        } catch (const std::exception& error) {
            finish(std::string("exception: ") + error.what(), 1);
        }
    }
    close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(got));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kUnavailable) return {false, text};
    if (!WIFEXITED(status)) return {true, "the child did not exit normally: " + text};
    return {true, WEXITSTATUS(status) == 0 ? "" : (text.empty() ? "failed" : text)};
}

}  // namespace brindle::testing
