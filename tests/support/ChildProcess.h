#pragma once

#include <functional>
#include <string>
#include <vector>

#include "BrindleCore/FileManager.h"

namespace brindle::testing {

struct ChildOutcome {
    bool available = true;  // false: the child could not be set up on this machine
    std::string failure;    // empty when the body's checks all held
};

// Runs `body` in a forked child process, which returns "" when its checks hold, else
// what went wrong (a thrown exception counts as that).
ChildOutcome inChildProcess(const std::function<std::string()>& body);

// The same, in a child that has a tmpfs of `size` (e.g. "512k") mounted at
// `mountPoint` in a mount namespace of its own, so that a real full disk can be
// tested without touching the machine.
ChildOutcome withPrivateTmpfs(const Path& mountPoint, const std::string& size, const std::function<std::string()>& body);

// Permission checks are real only for a user the kernel checks, and CI runs as root,
// whom the kernel lets read anything. So tests about permissions, ownership and locks
// run as "nobody" when they are root (geteuid() == 0), and as their own user otherwise.
// Makes the folder and everything under it the test user's, so that it can work there.
void handOver(const Path& folder);
// Runs `body` as the test user in a child process.
ChildOutcome asUnprivilegedUser(const std::function<std::string()>& body);
// The command that runs `program` with `arguments` as the test user.
std::vector<std::string> unprivilegedCommand(const Path& program, const std::vector<std::string>& arguments);

}  // namespace brindle::testing
