#include <dirent.h>
#include <fcntl.h>

#include <functional>
#include <memory>

#include "BrindleCore/Concurrently.h"
#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/PosixCopy.h"

namespace brindle::posix {

namespace {

// Enough pieces for two threads to share a tree evenly whatever its shape, few enough
// that holding them (and their folders open) costs next to nothing; a chain of single
// folders is opened out only so far, so that its depth never decides how many files
// are open.
constexpr std::size_t kMostPieces = 64;
constexpr std::size_t kMostFoldersOpenedOut = 8;

}  // namespace

// The tree's first levels are opened out, breadth first, into pieces (entries copied
// whole) until there are enough to keep both threads busy; the pieces are copied side
// by side, and the folders opened out are finished last, deepest first, once nothing
// more is created in them.
void copyFolderSharingWork(FolderPair root, CopySource source) {
    struct Piece {
        const FolderPair* parent;
        std::string name;
        unsigned char type;
    };
    std::vector<std::unique_ptr<FolderPair>> folders;
    std::vector<Piece> pieces;
    auto openOut = [&](FolderPair pair) {
        folders.push_back(std::make_unique<FolderPair>(std::move(pair)));
        const FolderPair* folder = folders.back().get();
        for (auto& entry : readEntries(folder->source.get(), folder->from))
            pieces.push_back(Piece{folder, std::move(entry.name), entry.type});
    };
    try {
        openOut(std::move(root));
        for (std::size_t next = 0;
             next < pieces.size() && pieces.size() < kMostPieces && folders.size() < kMostFoldersOpenedOut; ++next) {
            if (pieces[next].type != DT_DIR) continue;
            const Piece piece = pieces[next];
            const At from{piece.parent->source.get(), piece.name, piece.parent->from / piece.name};
            const At to{piece.parent->target.get(), piece.name, piece.parent->to / piece.name};
            struct stat status {};
            if (fstatat(from.dir, from.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) fail("copy", from.path, errno);
            if (!S_ISDIR(status.st_mode)) continue;  // replaced since it was listed: copied whole as it is now
            if (mkdirat(to.dir, to.name.c_str(), 0700) != 0)
                fail("copy the folder " + quotedPath(from.path.string()) + " to", to.path, errno);
            pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(next--));
            openOut(openFolderPair(from, to, status, source));
        }

        std::vector<std::function<void()>> tasks;
        tasks.reserve(pieces.size());
        for (const auto& piece : pieces) {
            tasks.emplace_back([&piece, source] {
                copyAt(At{piece.parent->source.get(), piece.name, piece.parent->from / piece.name},
                       At{piece.parent->target.get(), piece.name, piece.parent->to / piece.name}, source);
            });
        }
        runConcurrently(tasks);
        for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) finishFolderPair(**folder);
    } catch (...) {
        // Brindle's own folders opened up for the copy get their bits back.
        for (auto& folder : folders) {
            if (folder->granted && folder->source.isOpen()) (void)fchmod(folder->source.get(), folder->grantedFrom);
        }
        throw;
    }
}

}  // namespace brindle::posix
