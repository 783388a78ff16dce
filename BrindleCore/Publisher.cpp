#include "BrindleCore/Publisher.h"

#include <exception>
#include <optional>
#include <vector>

#include "BrindleCore/BackupManifest.h"
#include "BrindleCore/BackupServiceError.h"
#include "BrindleCore/ErrorText.h"
#include "BrindleCore/RandomUUID.h"

namespace brindle {

namespace {

constexpr std::string_view kPublishingPrefix = ".publishing-";
constexpr std::size_t kIdLength = 36;

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool isTemporary(std::string_view name, const TemporaryNames& names) {
    for (const auto prefix : names.temporary) {
        if (startsWith(name, prefix) && name.size() == prefix.size() + kIdLength) return true;
    }
    return false;
}

// The snapshot's new content, made beside it from the staging folder; nothing is left
// of it when it fails.
Path copyForSnapshot(FileManager& fileManager, const Path& staging, const Path& daySnapshot) {
    const Path incoming = daySnapshot.parent_path() / (std::string(kPublishingPrefix) + randomUUID());
    try {
        fileManager.createDirectory(incoming);
        for (const auto& entry : fileManager.contentsOfDirectory(staging))
            fileManager.copyItem(entry, incoming / entry.filename(), CopySource::own);
        return incoming;
    } catch (...) {
        removeQuietly(fileManager, incoming);
        throw;
    }
}

}  // namespace

void removeQuietly(FileManager& fileManager, const Path& path) {
    try {
        if (fileManager.examine(path, Links::noFollow).exists()) fileManager.removeItem(path);
    } catch (const std::exception&) {
        // Left for the next run, which removes it before anything else.
    }
}

const TemporaryNames kPublishingNames{".unpublishing-", {".staging-", kPublishingPrefix}};

void createDirectoryDurably(FileManager& fileManager, const Path& path) {
    std::vector<Path> missing;
    for (Path folder = path; !fileManager.examine(folder).exists(); folder = folder.parent_path()) {
        missing.push_back(folder);
        if (folder == folder.parent_path()) break;
    }
    fileManager.createDirectory(path);
    for (const auto& folder : missing) fileManager.syncFolder(folder.parent_path());
}

std::string asideName(std::string_view target, const TemporaryNames& names) {
    return std::string(names.aside) + std::string(target) + "-" + randomUUID();
}

std::string targetOfAside(std::string_view name, const TemporaryNames& names) {
    if (!startsWith(name, names.aside)) return {};
    const std::string_view rest = name.substr(names.aside.size());
    if (rest.size() < kIdLength + 2 || rest[rest.size() - kIdLength - 1] != '-') return {};
    return std::string(rest.substr(0, rest.size() - kIdLength - 1));
}

void swapIntoPlace(FileManager& fileManager, const Path& incoming, const Path& target, const TemporaryNames& names) {
    const Path parent = target.parent_path();
    if (!fileManager.examine(target, Links::noFollow).exists()) {
        fileManager.moveItem(incoming, target);
        fileManager.syncFolder(parent);
        return;
    }
    if (fileManager.exchangeItems(incoming, target)) {
        // The swap is on stable storage before the content it replaced goes.
        fileManager.syncFolder(parent);
        fileManager.removeItem(incoming);
        return;
    }
    const Path aside = parent / asideName(target.filename().string(), names);
    fileManager.moveItem(target, aside);
    try {
        // The earlier content is safe under its new name before its place is taken, so
        // that no power cut can leave the target missing and the earlier content nowhere.
        fileManager.syncFolder(parent);
        fileManager.moveItem(incoming, target);
    } catch (...) {
        try {
            fileManager.moveItem(aside, target);
        } catch (const std::exception&) {
            // Put back by the next run, before it touches anything.
        }
        throw;
    }
    fileManager.syncFolder(parent);
    fileManager.removeItem(aside);
}

void recoverInterruptedPublishing(FileManager& fileManager, const Path& folder, std::string_view unnamedAsideTarget) {
    if (!fileManager.examine(folder).isDirectory()) return;
    recoverInterrupted(fileManager, folder, fileManager.contentsOfDirectory(folder), kPublishingNames, unnamedAsideTarget);
}

void recoverInterrupted(FileManager& fileManager, const Path& folder, const std::vector<Path>& entries,
                        const TemporaryNames& names, std::string_view unnamedAsideTarget) {
    std::vector<Path> leftovers;
    for (const auto& entry : entries) {
        const std::string name = entry.filename().string();
        std::string target = targetOfAside(name, names);
        if (target.empty() && startsWith(name, names.aside) && name.size() == names.aside.size() + kIdLength)
            target = unnamedAsideTarget;
        if (!target.empty()) {
            if (fileManager.examine(folder / target, Links::noFollow).exists()) {
                leftovers.push_back(entry);
            } else {
                fileManager.moveItem(entry, folder / target);
                fileManager.syncFolder(folder);
            }
        } else if (isTemporary(name, names)) {
            leftovers.push_back(entry);
        }
    }
    for (const auto& leftover : leftovers) fileManager.removeItem(leftover);
}

void publishBackup(FileManager& fileManager, const Path& staging, const Path& latest, const Path& daySnapshot) {
    // The content about to be replaced stays on disk until the swaps, but its cached
    // pages are of no further use: dropping them lets the copies reuse that memory.
    fileManager.dropCachedPages(latest);
    fileManager.dropCachedPages(daySnapshot);

    // Latest first, and what it replaced removed, so that the snapshot's copy is made
    // in the memory just freed rather than beside four whole backups: on a memory file
    // system, or a machine that hands freed memory back to its host, that is most of
    // the cost of a run over large files.
    std::exception_ptr latestError;
    std::exception_ptr snapshotError;
    std::optional<FileIdentity> staged;
    try {
        staged = fileManager.examine(staging, Links::noFollow).identity;
        fileManager.syncTree(staging);
        // The staging folder was private; as latest it has the bits latest had, or a
        // new folder's.
        const Path bitsFrom = fileManager.examine(latest, Links::noFollow).exists() ? latest : latest.parent_path();
        fileManager.copyAttributes(bitsFrom, staging);
        fileManager.syncFolder(staging);
        swapIntoPlace(fileManager, staging, latest);
    } catch (...) {
        latestError = std::current_exception();
    }

    std::optional<Path> incoming;
    try {
        // The new content is in latest once the swap has happened, even when a later
        // step of it failed; otherwise it is still in the staging folder.
        const bool swapped = staged && fileManager.examine(latest, Links::noFollow).identity == *staged;
        const Path source = swapped ? latest : staging;
        createDirectoryDurably(fileManager, daySnapshot.parent_path());
        incoming = copyForSnapshot(fileManager, source, daySnapshot);
        fileManager.syncTree(*incoming);
        swapIntoPlace(fileManager, *incoming, daySnapshot);
    } catch (...) {
        snapshotError = std::current_exception();
    }
    if (incoming) removeQuietly(fileManager, *incoming);
    if (latestError) throw BackupServiceError::unableToPublishBackup(errorText(latestError));
    if (snapshotError) throw BackupServiceError::unableToPublishBackup(errorText(snapshotError));
}

}  // namespace brindle
