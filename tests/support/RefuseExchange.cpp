// Preloaded into `brindle` by the kill test: makes every renameat2(RENAME_EXCHANGE)
// fail as it does on file systems that cannot swap two entries (FUSE mounts, most
// network file systems), so that the real program publishes by its fallback.
#include <dlfcn.h>
#include <stdio.h>

#include <cerrno>

extern "C" int renameat2(int oldFolder, const char* oldPath, int newFolder, const char* newPath, unsigned int flags) {
    if ((flags & RENAME_EXCHANGE) != 0) {
        errno = EINVAL;
        return -1;
    }
    using Rename = int (*)(int, const char*, int, const char*, unsigned int);
    static const auto real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "renameat2"));
    return real(oldFolder, oldPath, newFolder, newPath, flags);
}
