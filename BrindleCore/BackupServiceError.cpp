#include "BrindleCore/BackupServiceError.h"

#include "BrindleCore/FileSystemError.h"

namespace brindle {

BackupServiceError::BackupServiceError(Kind kind, std::string first, std::string second, std::string description)
    : std::runtime_error(description),
      kind_(kind),
      first_(std::move(first)),
      second_(std::move(second)),
      description_(std::move(description)) {}

BackupServiceError BackupServiceError::destinationInsideSource(std::string source, std::string destination) {
    std::string description = "Backup destination " + destination + " cannot be inside source " + source + ".";
    return BackupServiceError(Kind::destinationInsideSource, std::move(source), std::move(destination),
                              std::move(description));
}

BackupServiceError BackupServiceError::unableToPublishBackup(std::string message) {
    std::string description = "Could not publish the backup: " + message;
    return BackupServiceError(Kind::unableToPublishBackup, std::move(message), "", std::move(description));
}

namespace {

std::string invalidRootMessage(const std::string& rootPath) {
    if (rootPath.empty()) return "No backup folder is set: the backup folder must be an absolute path.";
    if (const auto nul = rootPath.find('\0'); nul != std::string::npos) {
        return "The backup folder setting holds a NUL character after " + quotedPath(rootPath.substr(0, nul)) +
               ", and no path can hold one.";
    }
    return "The backup folder " + quotedPath(rootPath) + " must be an absolute path, one that starts with \u201C/\u201D.";
}

}  // namespace

InvalidDestinationError::InvalidDestinationError(const std::string& rootPath)
    : std::runtime_error(invalidRootMessage(rootPath)), rootPath_(rootPath) {}

}  // namespace brindle
