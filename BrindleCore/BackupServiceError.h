#pragma once

#include <stdexcept>
#include <string>

namespace brindle {

// The engine's own errors. what() is the message every consumer shows.
class BackupServiceError : public std::runtime_error {
public:
    enum class Kind { destinationInsideSource, unableToPublishBackup };

    static BackupServiceError destinationInsideSource(std::string source, std::string destination);
    static BackupServiceError unableToPublishBackup(std::string message);

    Kind kind() const noexcept { return kind_; }
    // destinationInsideSource: source and destination; unableToPublishBackup: the
    // failure's message in `message()`.
    const std::string& source() const noexcept { return first_; }
    const std::string& destination() const noexcept { return second_; }
    const std::string& message() const noexcept { return first_; }
    const std::string& errorDescription() const noexcept { return description_; }

    friend bool operator==(const BackupServiceError& a, const BackupServiceError& b) {
        return a.kind_ == b.kind_ && a.first_ == b.first_ && a.second_ == b.second_;
    }

private:
    BackupServiceError(Kind kind, std::string first, std::string second, std::string description);
    Kind kind_;
    std::string first_;
    std::string second_;
    std::string description_;
};

// The backup root of the settings cannot be used at all (empty, relative, or holding a
// NUL character, at which the system would cut it short). The run ends before
// anything is created.
class InvalidDestinationError : public std::runtime_error {
public:
    explicit InvalidDestinationError(const std::string& rootPath);
    const std::string& rootPath() const noexcept { return rootPath_; }

private:
    std::string rootPath_;
};

}  // namespace brindle
