#pragma once

#include <exception>
#include <map>
#include <string>

#include "BrindleCore/FileManager.h"

namespace brindle::testing {

// A fresh folder under the system's temporary folder (or under `base`), removed with
// all its content.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const Path& base = std::filesystem::temp_directory_path());
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const Path& path() const { return path_; }
    Path operator/(const std::string& relative) const { return appendingRelativePath(path_, relative); }

private:
    Path path_;
};

// Small fixture helpers; each throws std::runtime_error on failure.
void writeFile(const Path& path, const std::string& contents);
std::string readFile(const Path& path);
void makeFolder(const Path& path);
void makeLink(const std::string& target, const Path& link);
// /dev/shm where it is a usable folder, else the system's temporary folder.
Path memoryBackedTemporaryBase();
// Every entry under a folder as "relative/path" -> "contents" (folders as "<dir>",
// links as "-> target"), for comparing whole trees.
using Tree = std::map<std::string, std::string>;
Tree treeOf(const Path& root);
// As treeOf, each entry led by its type and permission bits and its modification time
// ("mode, seconds.nanoseconds: "), and the root itself, through a link there, as "".
Tree attributedTreeOf(const Path& root);

// The message of the `Error` that `action` threw, or "" when it threw none.
template <class Error = std::exception, class Action>
std::string failureOf(Action&& action) {
    try {
        action();
    } catch (const Error& error) {
        return error.what();
    }
    return "";
}

}  // namespace brindle::testing
