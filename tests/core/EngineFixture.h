#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "BrindleCore/BackupService.h"
#include "BrindleCore/SnapshotNames.h"
#include "tests/fakes/FaultInjectingFileManager.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle::testing {

using Status = BackupManifestItem::Status;

// Noon of a day of March 2025, or a later hour of it.
inline Timestamp marchDay(int day, int hour = 12) {
    using namespace std::chrono;
    return Timestamp{sys_days{year{2025} / 3 / day} + hours{hour}};
}

// A home with something in every catalog item (and in the paths it leaves out), every
// item enabled, a backup root, and an engine that names the machine "box". The trees
// are small and live in memory where the system has a memory file system: hundreds of
// runs make and remove them.
class EngineFixture : public ::testing::Test {
protected:
    TemporaryFolder temp{memoryBackedTemporaryBase()};
    PosixFileManager real;
    FaultInjectingFileManager files{real};
    Path home = temp / "home";
    Path root = temp / "root";
    Path machine = root / "box";
    Path latest = machine / "latest";
    Path snapshots = machine / "Snapshots";
    Path pristine = temp / "pristine";  // where a test keeps a state to start again from
    std::vector<BackupItem> items;
    BackupSettings settings;

    void SetUp() override {
        writeFile(home / ".codex/automations/a.toml", "a");
        writeFile(home / ".codex/automations/.run-jitter-salt", "s");
        writeFile(home / ".codex/AGENTS.md", "agents");
        writeFile(home / ".codex/config.toml", "config");
        writeFile(home / ".codex/rules/r.rules", "rules");
        writeFile(home / ".codex/skills/pdf/SKILL.md", "pdf");
        writeFile(home / ".codex/skills/pdf/scripts/run.sh", "#!/bin/sh");
        writeFile(home / ".codex/skills/.system/x", "x");
        writeFile(home / ".agents/skills/review/SKILL.md", "review");
        items = DefaultBackupItems::items(home);
        settings = BackupSettings{root.string(), {}, 30};
        for (const auto& item : items) settings.enabledItemIDs.insert(item.id);
    }

    BackupResult run(FileManager& fileManager, Timestamp now = marchDay(20)) {
        return BackupService(fileManager, [] { return std::string("box"); }).run(settings, items, now);
    }
    BackupResult run(Timestamp now = marchDay(20)) { return run(files, now); }

    Path snapshotOf(Timestamp now) const { return snapshots / snapshotFolderName(now); }

    std::set<std::string> namesIn(const Path& folder) {
        std::set<std::string> names;
        for (const auto& entry : real.contentsOfDirectory(folder)) names.insert(entry.filename().string());
        return names;
    }

    // What a whole backup of the sources as they are now holds, the manifest aside.
    Tree backupOfSources() {
        Tree expected;
        for (const auto& item : items) {
            if (settings.enabledItemIDs.count(item.id) == 0 || !real.examine(item.sourcePath).exists()) continue;
            const std::string top = item.destinationPath.substr(0, item.destinationPath.find('/'));
            expected[top] = "<dir>";
            const bool folder = real.examine(item.sourcePath).isDirectory();
            expected[item.destinationPath] = folder ? "<dir>" : readFile(item.sourcePath);
            if (!folder) continue;
            const auto& leftOut = item.excludedRelativePaths;
            for (const auto& [path, contents] : treeOf(item.sourcePath)) {
                if (std::none_of(leftOut.begin(), leftOut.end(), [&](const auto& x) { return isSameOrInside(path, x); }))
                    expected[item.destinationPath + "/" + path] = contents;
            }
        }
        return expected;
    }

    // "" when `backup` is a whole new backup of the sources, else what is wrong with it:
    // each item its manifest calls copied exactly as its source is now; each failed
    // item with no less than `previous` held of it, each entry in its earlier or its
    // new form; nothing else.
    std::string problemsOfNewBackup(const Tree& backup, const Tree& previous) {
        if (backup.count("manifest.json") == 0) return "no manifest";
        const BackupManifest manifest = backupManifestFromJson(backup.at("manifest.json"));
        const Tree sources = backupOfSources();
        auto itemOf = [&](const std::string& key) -> const BackupManifestItem* {
            for (const auto& entry : manifest.items)
                for (const auto& item : items)
                    if (item.id == entry.id && isSameOrInside(key, item.destinationPath)) return &entry;
            return nullptr;
        };
        for (const auto& [key, contents] : backup) {
            if (key == "manifest.json" || key == "Codex" || key == "Agents") continue;
            const auto* entry = itemOf(key);
            if (entry == nullptr || entry->status == Status::missing) return "holds " + key;
            const bool isNew = sources.count(key) != 0 && sources.at(key) == contents;
            const bool isEarlier = previous.count(key) != 0 && previous.at(key) == contents;
            if (!isNew && !(entry->status == Status::failed && isEarlier)) return "holds a stray " + key;
        }
        for (const auto& [key, contents] : sources) {
            const auto* entry = itemOf(key);
            if (entry != nullptr && entry->status == Status::copied && backup.count(key) == 0) return "lacks " + key;
        }
        for (const auto& [key, contents] : previous) {
            const auto* entry = itemOf(key);
            if (entry != nullptr && entry->status == Status::failed && backup.count(key) == 0) return "lost " + key;
        }
        return "";
    }

    // The backup at `folder` without its manifest, which names its own run.
    static Tree withoutManifest(Tree tree) {
        tree.erase("manifest.json");
        return tree;
    }
};

}  // namespace brindle::testing
