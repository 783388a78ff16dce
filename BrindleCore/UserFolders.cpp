#include "BrindleCore/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace brindle {

namespace {

const char* absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : nullptr;
}

Path homeFolder() {
    if (const char* home = absoluteVariable("HOME")) return standardized(Path(home));
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return standardized(Path(found->pw_dir));
    return Path("/");
}

}  // namespace

UserFolders UserFolders::current() {
    UserFolders folders;
    folders.home = homeFolder();
    const char* config = absoluteVariable("XDG_CONFIG_HOME");
    folders.config = config != nullptr ? standardized(Path(config)) : folders.home / ".config";
    return folders;
}

}  // namespace brindle
