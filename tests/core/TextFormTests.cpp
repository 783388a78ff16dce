#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "BrindleCore/BackupItem.h"
#include "BrindleCore/BackupManifest.h"
#include "BrindleCore/BackupResult.h"
#include "BrindleCore/BackupServiceError.h"
#include "BrindleCore/BackupSettings.h"
#include "BrindleCore/JsonReadError.h"
#include "BrindleCore/JsonWriter.h"

namespace brindle {
namespace {

using namespace std::chrono;

BackupManifest sampleManifest() {
    BackupManifest manifest;
    manifest.createdAt = Timestamp{sys_days{year{2025} / 1 / 31} + hours{14} + minutes{5} + seconds{9} + milliseconds{750}};
    manifest.machineName = "Studio-s-MacBook-Pro";
    BackupManifestItem copied{"codex-rules", "Codex rules", "/home/me/.codex/rules",
                              "/b/m/.staging-X/Codex/rules", BackupManifestItem::Status::copied, 3,
                              18446744073709551615ull, std::nullopt};
    BackupManifestItem missing{"codex-config", "Codex config", "/home/me/.codex/config.toml",
                               "/b/m/.staging-X/Codex/config.toml", BackupManifestItem::Status::missing, 0, 0,
                               "Codex config was not found at /home/me/.codex/config.toml."};
    manifest.items = {copied, missing};
    manifest.warnings = {"Agent skills failed: \"quoted\"\ttab"};
    return manifest;
}

TEST(ManifestTextForm, GoldenBytes) {
    const std::string expected = R"({
  "appName" : "Brindle",
  "createdAt" : "2025-01-31T14:05:09Z",
  "items" : [
    {
      "byteCount" : 18446744073709551615,
      "destinationPath" : "\/b\/m\/.staging-X\/Codex\/rules",
      "displayName" : "Codex rules",
      "fileCount" : 3,
      "id" : "codex-rules",
      "sourcePath" : "\/home\/me\/.codex\/rules",
      "status" : "copied"
    },
    {
      "byteCount" : 0,
      "destinationPath" : "\/b\/m\/.staging-X\/Codex\/config.toml",
      "displayName" : "Codex config",
      "fileCount" : 0,
      "id" : "codex-config",
      "message" : "Codex config was not found at \/home\/me\/.codex\/config.toml.",
      "sourcePath" : "\/home\/me\/.codex\/config.toml",
      "status" : "missing"
    }
  ],
  "machineName" : "Studio-s-MacBook-Pro",
  "schemaVersion" : 1,
  "warnings" : [
    "Agent skills failed: \"quoted\"\ttab"
  ]
})";
    EXPECT_EQ(toJson(sampleManifest()), expected);
}

TEST(ManifestTextForm, ReadsBackWhatItWritesAndAcceptsNullMessages) {
    BackupManifest manifest = sampleManifest();
    manifest.createdAt = floor<seconds>(manifest.createdAt);
    EXPECT_EQ(backupManifestFromJson(toJson(manifest)), manifest);

    auto json = nlohmann::json::parse(toJson(manifest));
    json["items"][1]["message"] = nullptr;
    json["extra"] = 1;
    auto read = backupManifestFromJson(json.dump());
    EXPECT_FALSE(read.items[1].message.has_value());
}

TEST(ManifestTextForm, ReadingRejectsMissingKeysWrongTypesAndUnknownStatus) {
    const auto good = nlohmann::json::parse(toJson(sampleManifest()));
    auto mutated = [&](auto change) {
        auto copy = good;
        change(copy);
        return copy.dump();
    };
    EXPECT_THROW(backupManifestFromJson(mutated([](auto& j) { j.erase("warnings"); })), JsonReadError);
    EXPECT_THROW(backupManifestFromJson(mutated([](auto& j) { j["items"][0].erase("byteCount"); })), JsonReadError);
    EXPECT_THROW(backupManifestFromJson(mutated([](auto& j) { j["items"][0]["status"] = "Copied"; })), JsonReadError);
    EXPECT_THROW(backupManifestFromJson(mutated([](auto& j) { j["items"][0]["fileCount"] = 2.5; })), JsonReadError);
    EXPECT_THROW(backupManifestFromJson(mutated([](auto& j) { j["items"][0]["byteCount"] = -1; })), JsonReadError);
    EXPECT_THROW(backupManifestFromJson(mutated([](auto& j) { j["schemaVersion"] = "1"; })), JsonReadError);
    EXPECT_THROW(backupManifestFromJson(mutated([](auto& j) { j["createdAt"] = "2025-01-31 14:05:09"; })), JsonReadError);
    EXPECT_THROW(backupManifestFromJson("[]"), JsonReadError);
    EXPECT_THROW(backupManifestFromJson("{"), JsonReadError);
}

TEST(ManifestTextForm, TimesAreWholeSecondsInUtcAlsoBefore1970) {
    EXPECT_EQ(rfc3339(Timestamp{} - milliseconds{500}), "1969-12-31T23:59:59Z");
    EXPECT_EQ(rfc3339(Timestamp{}), "1970-01-01T00:00:00Z");
    EXPECT_EQ(timestampFromRfc3339("1969-12-31T23:59:59Z"), Timestamp{} - seconds{1});
    EXPECT_FALSE(timestampFromRfc3339("2025-02-30T00:00:00Z"));
    EXPECT_FALSE(timestampFromRfc3339("2025-01-31T24:00:00Z"));
    // Beyond what the clock can hold: refused rather than overflowed.
    EXPECT_FALSE(timestampFromRfc3339("4050-01-31T14:05:09Z"));
    EXPECT_FALSE(timestampFromRfc3339("0001-01-01T00:00:00Z"));
    EXPECT_TRUE(timestampFromRfc3339("2261-12-31T23:59:59Z"));
}

TEST(JsonWriter, EscapesAndNeverWritesInvalidUtf8) {
    EXPECT_EQ(writeJson("a/b\\c\"d\n\x01" "\xC3\xA9"), R"("a\/b\\c\"d\n\u0001)" "\xC3\xA9\"");
    // A lone continuation byte, a truncated sequence and an overlong form each become U+FFFD.
    const std::string written = writeJson("x\x80y\xE2\x82z\xC0\xAF");
    EXPECT_EQ(written, "\"x\xEF\xBF\xBDy\xEF\xBF\xBDz\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(nlohmann::json::parse(written).get<std::string>(), "x\xEF\xBF\xBDy\xEF\xBF\xBDz\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(writeJson({{"b", nlohmann::json::array()}, {"a", nlohmann::json::object()}}),
              "{\n  \"a\" : {},\n  \"b\" : []\n}");
}

TEST(SettingsTextForm, GoldenBytesAndStrictReading) {
    BackupSettings settings{"/home/me/Brindle Backups", {"codex-rules", "agent-skills"}, 30};
    EXPECT_EQ(toJson(settings), R"({
  "backupIntervalMinutes" : 30,
  "destinationRootPath" : "\/home\/me\/Brindle Backups",
  "enabledItemIDs" : [
    "agent-skills",
    "codex-rules"
  ]
})");
    EXPECT_EQ(backupSettingsFromJson(toJson(settings)), settings);
    auto read = backupSettingsFromJson(
        R"({"backupIntervalMinutes": -10, "destinationRootPath": "/x", "enabledItemIDs": ["a", "a"], "other": true})");
    EXPECT_EQ(read.backupIntervalMinutes, -10);
    EXPECT_EQ(read.enabledItemIDs, std::set<std::string>{"a"});
    for (const char* bad : {R"({"destinationRootPath": "/x", "enabledItemIDs": []})",
                            R"({"backupIntervalMinutes": 2.5, "destinationRootPath": "/x", "enabledItemIDs": []})",
                            R"({"backupIntervalMinutes": "30", "destinationRootPath": "/x", "enabledItemIDs": []})",
                            R"({"backupIntervalMinutes": 1e30, "destinationRootPath": "/x", "enabledItemIDs": []})",
                            R"({"backupIntervalMinutes": 9223372036854775808, "destinationRootPath": "/x", "enabledItemIDs": []})",
                            R"({"backupIntervalMinutes": 30, "destinationRootPath": "/x", "enabledItemIDs": [1]})",
                            R"({"backupIntervalMinutes": 30, "destinationRootPath": null, "enabledItemIDs": []})"}) {
        EXPECT_THROW(backupSettingsFromJson(bad), JsonReadError) << bad;
    }
}

TEST(BackupItemTextForm, RoundTripRequiresEveryKey) {
    auto items = DefaultBackupItems::items("/home/me");
    for (const auto& item : items) EXPECT_EQ(backupItemFromJson(toJson(item)), item);
    auto json = nlohmann::json::parse(toJson(items[4]));
    json["extra"] = "ignored";
    EXPECT_EQ(backupItemFromJson(json.dump()), items[4]);
    json.erase("required");
    EXPECT_THROW(backupItemFromJson(json.dump()), JsonReadError);
}

TEST(DefaultBackupItems, SixItemsInOrderFromAnyHomeSpelling) {
    auto items = DefaultBackupItems::items("/Users/me/");
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items, DefaultBackupItems::items("/Users/me"));
    std::vector<std::string> ids, sources, destinations;
    for (const auto& item : items) {
        ids.push_back(item.id);
        sources.push_back(item.sourcePath);
        destinations.push_back(item.destinationPath);
        EXPECT_FALSE(item.required);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"codex-automations", "codex-agents", "codex-config", "codex-rules",
                                             "codex-skills", "agent-skills"}));
    EXPECT_EQ(sources.front(), "/Users/me/.codex/automations");
    EXPECT_EQ(sources.back(), "/Users/me/.agents/skills");
    EXPECT_EQ(destinations[1], "Codex/AGENTS.md");
    EXPECT_EQ(items[4].excludedRelativePaths, (std::vector<std::string>{".system", "codex-primary-runtime"}));
    EXPECT_EQ(items[0].excludedRelativePaths, std::vector<std::string>{".run-jitter-salt"});
}

TEST(BackupResultAndErrors, CountsAndExactMessages) {
    BackupResult result{sampleManifest(), "/b/m/latest"};
    EXPECT_EQ(result.copiedItemCount(), 1);
    result.manifest.items.clear();
    EXPECT_EQ(result.copiedItemCount(), 0);

    auto inside = BackupServiceError::destinationInsideSource("/home/me/.codex/skills", "/home/me/.codex/skills/b");
    EXPECT_STREQ(inside.what(), "Backup destination /home/me/.codex/skills/b cannot be inside source /home/me/.codex/skills.");
    EXPECT_EQ(inside.errorDescription(), inside.what());
    EXPECT_STREQ(BackupServiceError::unableToPublishBackup("").what(), "Could not publish the backup: ");
    EXPECT_EQ(BackupServiceError::unableToPublishBackup("a"), BackupServiceError::unableToPublishBackup("a"));
    EXPECT_FALSE(BackupServiceError::unableToPublishBackup("a") == BackupServiceError::unableToPublishBackup("b"));
    EXPECT_FALSE(BackupServiceError::unableToPublishBackup("a") == BackupServiceError::destinationInsideSource("a", ""));
    EXPECT_STREQ(InvalidDestinationError("~/Backups").what(),
                 "The backup folder \u201C~/Backups\u201D must be an absolute path, one that starts with \u201C/\u201D.");
}

}  // namespace
}  // namespace brindle
