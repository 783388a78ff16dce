#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>

#include "BrindleCore/BackupItem.h"
#include "BrindleCore/BackupManifest.h"
#include "BrindleCore/BackupSettings.h"
#include "BrindleCore/JsonReadError.h"
#include "BrindleCore/JsonWriter.h"
#include "BrindleCore/Utf8.h"

namespace brindle {
namespace {

using namespace std::chrono;
using Json = nlohmann::json;

BackupManifest sampleManifest() {
    using enum BackupManifestItem::Status;
    return {.createdAt = Timestamp{sys_days{year{2025} / 1 / 31} + hours{14} + minutes{5} + seconds{9} + milliseconds{750}},
            .machineName = "Studio-s-MacBook-Pro",
            .items = {{"codex-rules", "Codex rules", "/home/me/.codex/rules", "/b/m/.staging-X/Codex/rules", copied, 3,
                       18446744073709551615ull, std::nullopt},
                      {"codex-config", "Codex config", "/home/me/.codex/config.toml", "/b/m/.staging-X/Codex/config.toml", missing,
                       0, 0, "Codex config was not found at /home/me/.codex/config.toml."}},
            .warnings = {"Agent skills failed: \"quoted\"\ttab"}};
}

// Written to the byte, and read back as the record written (less its fraction of a second).
TEST(TextForm, ExactBytesOfEveryFileAndReadingThemBack) {
    const std::string manifestText = R"({
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
    BackupManifest manifest = sampleManifest();
    EXPECT_EQ(toJson(manifest), manifestText);
    manifest.createdAt = floor<seconds>(manifest.createdAt);
    EXPECT_EQ(backupManifestFromJson(manifestText), manifest);
    const BackupSettings settings{"/r", {}, std::numeric_limits<std::int64_t>::min()};
    const std::string settingsText = R"({
  "backupIntervalMinutes" : -9223372036854775808,
  "destinationRootPath" : "\/r",
  "enabledItemIDs" : []
})";
    EXPECT_EQ(toJson(settings), settingsText);
    EXPECT_EQ(backupSettingsFromJson(settingsText), settings);
    for (const auto& item : DefaultBackupItems::items("/home/me")) EXPECT_EQ(backupItemFromJson(toJson(item)), item);
    EXPECT_EQ(DefaultBackupItems::items("/home/me/"), DefaultBackupItems::items("/home/me")) << "the same from any home spelling";
    // Times are whole seconds in UTC, rounded down also before 1970, up to the clock's last year.
    EXPECT_EQ(rfc3339(Timestamp{} - milliseconds{500}), "1969-12-31T23:59:59Z");
    EXPECT_EQ(timestampFromRfc3339("1969-12-31T23:59:59Z"), Timestamp{} - seconds{1});
    EXPECT_TRUE(timestampFromRfc3339("2261-12-31T23:59:59Z"));
}

TEST(JsonWriter, EscapesEveryStringSoItReadsBack) {
    std::string controls;
    for (char c = 0; c < 0x20; ++c) controls += c;
    controls += '\x7F';
    const std::pair<std::string, std::string> cases[] = {
        {controls, R"("\u0000\u0001\u0002\u0003\u0004\u0005\u0006\u0007\b\t\n\u000b\f\r\u000e\u000f)"
                   R"(\u0010\u0011\u0012\u0013\u0014\u0015\u0016\u0017\u0018\u0019\u001a\u001b\u001c\u001d\u001e\u001f)"
                   "\x7F\""},
        {"a/b\\c\"d\xC3\xA9", R"("a\/b\\c\"d)" "\xC3\xA9\""},
        // A lone continuation byte, a truncated sequence and an overlong form: one U+FFFD each.
        {"x\x80y\xE2\x82z\xC0\xAF", "\"x\xEF\xBF\xBDy\xEF\xBF\xBDz\xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    for (const auto& [text, expected] : cases) {
        const std::string written = writeJson(text);
        EXPECT_EQ(written, expected);
        EXPECT_EQ(Json::parse(written).get<std::string>(), validUtf8(text));
        EXPECT_EQ(isValidUtf8(text), validUtf8(text) == text);
    }
}

// Every value written, at every depth, must be read back with its own type and, "message"
// aside, must be there and not null: anything else fails the whole reading.
template <class Read>
void expectStrictReading(const Json& good, Read read, const Json::json_pointer& at = Json::json_pointer()) {
    if (!good[at].is_structured()) return;
    for (const auto& member : good[at].items()) {
        const auto path = at / member.key();
        std::vector<Json> bad(member.key() == "message" ? 1 : good[at].is_object() ? 3 : 2, good);
        bad[0][path] = member.value().is_number() ? Json("1") : Json(1);
        if (bad.size() > 1) bad[1][path] = nullptr;
        if (bad.size() > 2) bad[2][at].erase(member.key());
        for (const auto& document : bad) EXPECT_THROW(read(document.dump()), JsonReadError) << document.dump();
        expectStrictReading(good, read, path);
    }
}

TEST(TextForm, ReadingIsStrict) {
    const Json manifest = Json::parse(toJson(sampleManifest()));
    const Json settings = Json::parse(toJson(BackupSettings{"/r", {"codex-rules"}, 30}));
    expectStrictReading(manifest, backupManifestFromJson);
    expectStrictReading(settings, backupSettingsFromJson);
    expectStrictReading(Json::parse(toJson(DefaultBackupItems::items("/home/me")[4])), backupItemFromJson);

    // Values of the right JSON type that the record cannot hold; times that are not real,
    // not the exact form, or beyond what the clock can hold (refused, not overflowed).
    for (const auto& [at, value] : std::vector<std::pair<const char*, Json>>{
             {"/items/0/status", "Copied"}, {"/items/0/fileCount", 2.5}, {"/items/0/byteCount", -1},
             {"/schemaVersion", 9223372036854775808ull}, {"/createdAt", "2025-01-31 14:05:09"},
             {"/createdAt", "2025-02-30T00:00:00Z"}, {"/createdAt", "2025-01-31T24:00:00Z"}, {"/createdAt", "2025-01-31T-1:05:09Z"},
             {"/createdAt", "2025-01-31T14:05:09+00:00"}, {"/createdAt", "4050-01-31T14:05:09Z"}, {"/createdAt", "0001-01-01T00:00:00Z"},
             {"/backupIntervalMinutes", 2.5}, {"/backupIntervalMinutes", 1e30},
             {"/backupIntervalMinutes", 9223372036854775808ull}}) {
        const bool inSettings = settings.contains(Json::json_pointer(at));
        Json bad = inSettings ? settings : manifest;
        bad[Json::json_pointer(at)] = value;
        EXPECT_THROW(inSettings ? (void)backupSettingsFromJson(bad.dump()) : (void)backupManifestFromJson(bad.dump()),
                     JsonReadError) << at;
    }
    // Not JSON, not a settings record, too deep, or not UTF-8.
    for (const std::string& text : std::vector<std::string>{
             "", "{", "[]", "null", "not json", "\xEF\xBB\xBF", std::string(100000, '['), std::string(8 << 20, ' ') + "{",
             R"({"backupIntervalMinutes": 30, "destinationRootPath": "/x", "enabledI)",
             R"({"backupIntervalMinutes": -9223372036854775809, "destinationRootPath": "/x", "enabledItemIDs": []})",
             "{\"backupIntervalMinutes\": 30, \"destinationRootPath\": \"\xFF\", \"enabledItemIDs\": []}"})
        EXPECT_THROW(backupSettingsFromJson(text), JsonReadError) << text.substr(0, 80);

    // A null message is no message and unknown keys are ignored.
    Json tolerated = manifest;
    tolerated["items"][1]["message"] = nullptr;
    tolerated["extra"] = 1;
    EXPECT_FALSE(backupManifestFromJson(tolerated.dump()).items[1].message.has_value());
}

}  // namespace
}  // namespace brindle
