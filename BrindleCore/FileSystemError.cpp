#include "BrindleCore/FileSystemError.h"

#include <cerrno>
#include <cstring>

namespace brindle {

FileSystemError::FileSystemError(int code, std::string path, const std::string& description)
    : std::runtime_error(description), code_(code), path_(std::move(path)) {}

FileSystemError FileSystemError::fromErrno(const std::string& action, const std::string& path, int code) {
    return FileSystemError(code, path, "Could not " + action + " " + quotedPath(path) + ": " + reasonForErrno(code) + ".");
}

std::string quotedPath(const std::string& path) { return "\u201C" + path + "\u201D"; }

std::string reasonForErrno(int code) {
    switch (code) {
    case ENOSPC: return "the disk is full";
    case EDQUOT: return "the disk quota is used up";
    case EACCES:
    case EPERM: return "permission was denied";
    case ENOENT: return "there is no such file or folder";
    case EEXIST: return "something already exists at that place";
    case ENOTDIR: return "a part of the path is not a folder";
    case EISDIR: return "it is a folder";
    case ENOTEMPTY: return "the folder is not empty";
    case EROFS: return "the file system is read-only";
    case EIO: return "the disk reported an input/output error";
    case ENAMETOOLONG: return "the name is too long";
    case ELOOP: return "there are too many levels of symbolic links";
    case EMFILE:
    case ENFILE: return "too many files are open";
    case EBUSY: return "it is in use";
    case EXDEV: return "it lies on another file system";
    case EINVAL: return "the operation is not supported there";
    case ENOMEM: return "the system is out of memory";
    case EFBIG: return "the file is too large";
    case ENXIO: return "the device is not available";
    case ETXTBSY: return "the file is in use";
    case EOPNOTSUPP: return "the file system does not support this";
    default: {
        std::string text = std::strerror(code);
        if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
        return text + " (error " + std::to_string(code) + ")";
    }
    }
}

}  // namespace brindle
