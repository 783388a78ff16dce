#include "BrindleCore/PosixRemove.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "BrindleCore/PosixFolder.h"

namespace brindle::posix {

void removeEntryAt(int parentFd, const char* name, const Path& path) {
    // Anything but a folder is unlinked straight away, and only an entry that turns
    // out to be a folder is opened and emptied: a removal costs one call per file.
    if (unlinkat(parentFd, name, 0) == 0 || errno == ENOENT) return;
    if (errno != EISDIR) fail("remove", path, errno);
    TreeVisitor visitor;
    visitor.grantAccess = true;
    visitor.entry = [](const Visit& visit) {
        if (unlinkat(visit.parentFd, visit.name, 0) != 0 && errno != ENOENT) fail("remove", visit.path, errno);
    };
    visitor.leave = [](const Visit& visit, int) {
        if (unlinkat(visit.parentFd, visit.name, AT_REMOVEDIR) != 0 && errno != ENOENT) fail("remove", visit.path, errno);
    };
    visitTree(parentFd, name, path, visitor);
}

void removeEntry(const Path& path) {
    (void)systemPath(path);
    const Path parent = path.has_parent_path() ? path.parent_path() : Path(".");
    // The parent may be reached through links (a backup root often is); the entry
    // itself never is.
    const FileDescriptor parentFd(open(systemPath(parent), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.isOpen()) {
        if (errno == ENOENT) return;  // gone already: what removal wants
        fail("remove", path, errno);
    }
    removeEntryAt(parentFd.get(), systemPath(path.filename()), path);
}

}  // namespace brindle::posix
