#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "tests/fakes/ForwardingFileManager.h"

namespace brindle::testing {

// Follows, call by call, what a power cut could undo in the file system below: names
// made (created, copied, renamed) in a folder not synced since, and data written to an
// entry not synced since (an atomic write is durable when it returns). After every
// call it checks that no power cut at that moment could leave a published backup (the
// machine folder's "latest", a dated snapshot) partial, or remove the earlier content
// of one before the swap that replaced it was durable; every breach is kept as a
// sentence naming the call.
class DurabilityModel final : public ForwardingFileManager {
public:
    DurabilityModel(FileManager& inner, Path machineFolder) : ForwardingFileManager(inner), machine_(std::move(machineFolder)) {}

    void createDirectory(const Path& path, unsigned mode = 0777) override;
    void copyItem(const Path& from, const Path& to, CopySource source = CopySource::user) override;
    void copyAttributes(const Path& from, const Path& to) override;
    void removeItem(const Path& path) override;
    void moveItem(const Path& from, const Path& to) override;
    bool exchangeItems(const Path& a, const Path& b) override;
    void syncTree(const Path& path) override;
    void syncFolder(const Path& path) override;
    void enter(const std::string&, const Path&) override {}

    // Once the code under test returned: each of these backups, and every folder on
    // the way to it, must survive a power cut as it is now.
    void expectDurable(const std::vector<Path>& backups);
    std::vector<std::string> breaches() const;

private:
    bool isPublished(const Path& path) const;
    void markTree(const Path& root);
    void rename(const std::string& from, const std::string& to);
    void check(const std::string& call);

    Path machine_;
    mutable std::mutex mutex_;
    std::set<std::string> names_;  // names made in a folder not synced since
    std::set<std::string> data_;   // entries whose data was written and not synced since
    // Where the earlier content of a published backup went by a swap whose folder has
    // not been synced since, and which backup it was.
    std::map<std::string, std::string> displaced_;
    std::vector<std::string> breaches_;
};

}  // namespace brindle::testing
