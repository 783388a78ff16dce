#pragma once

#include <stdexcept>
#include <string>

namespace brindle {

// The one error type of the file-system service. Its what() is the sentence a user
// reads: what failed, on which path, and why, e.g.
//   Could not copy “/home/u/.codex/skills/pdf/big.bin”: the disk is full.
class FileSystemError : public std::runtime_error {
public:
    FileSystemError(int code, std::string path, const std::string& description);

    // Builds the sentence from a verb phrase ("copy", "create the folder"), the path
    // concerned and an errno value.
    static FileSystemError fromErrno(const std::string& action, const std::string& path, int code);

    int code() const noexcept { return code_; }
    const std::string& path() const noexcept { return path_; }

private:
    int code_;
    std::string path_;
};

// Plain words for an errno value ("the disk is full", "permission was denied").
std::string reasonForErrno(int code);

// “path” in typographic quotes, as every message names a path.
std::string quotedPath(const std::string& path);

}  // namespace brindle
