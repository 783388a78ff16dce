#include "BrindleCore/BackupManifest.h"

#include <cstdio>

#include "BrindleCore/CivilTime.h"
#include "BrindleCore/JsonReadError.h"
#include "BrindleCore/JsonReader.h"
#include "BrindleCore/JsonWriter.h"

namespace brindle {

using namespace std::chrono;

std::string_view rawValue(BackupManifestItem::Status status) {
    switch (status) {
    case BackupManifestItem::Status::copied: return "copied";
    case BackupManifestItem::Status::missing: return "missing";
    case BackupManifestItem::Status::failed: return "failed";
    }
    return "failed";
}

std::optional<BackupManifestItem::Status> statusFromRawValue(std::string_view text) {
    if (text == "copied") return BackupManifestItem::Status::copied;
    if (text == "missing") return BackupManifestItem::Status::missing;
    if (text == "failed") return BackupManifestItem::Status::failed;
    return std::nullopt;
}

std::string rfc3339(Timestamp time) {
    // floor, not a cast: a time before 1970 with a fraction belongs to the earlier second.
    const auto seconds = floor<std::chrono::seconds>(time);
    const auto day = floor<days>(seconds);
    const year_month_day date{day};
    const hh_mm_ss<std::chrono::seconds> clock{seconds - day};
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02lldZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<long>(clock.hours().count()), static_cast<long>(clock.minutes().count()),
                  static_cast<long long>(clock.seconds().count()));
    return text;
}

std::optional<Timestamp> timestampFromRfc3339(std::string_view text) {
    // Exactly "YYYY-MM-DDTHH:MM:SSZ", the only form Brindle writes.
    if (text.size() != 20 || text[10] != 'T' || text[19] != 'Z') return std::nullopt;
    const auto date = civilDateFromText(text.substr(0, 10));
    const auto clock = timeOfDayFromText(text.substr(11, 8));
    if (!date || !clock) return std::nullopt;
    // The clock counts nanoseconds in 64 bits, which spans the years 1678 to 2261; a
    // time outside that cannot be held, and converting it would overflow.
    const sys_seconds time = sys_days{*date} + *clock;
    if (time < floor<seconds>(Timestamp::min()) + seconds{1} || time > floor<seconds>(Timestamp::max())) return std::nullopt;
    return time_point_cast<Timestamp::duration>(time);
}

std::string toJson(const BackupManifest& manifest) {
    nlohmann::json items = nlohmann::json::array();
    for (const auto& item : manifest.items) {
        nlohmann::json entry = {
            {"byteCount", item.byteCount},
            {"destinationPath", item.destinationPath},
            {"displayName", item.displayName},
            {"fileCount", item.fileCount},
            {"id", item.id},
            {"sourcePath", item.sourcePath},
            {"status", rawValue(item.status)},
        };
        if (item.message) entry["message"] = *item.message;
        items.push_back(std::move(entry));
    }
    return writeJson({
        {"appName", manifest.appName},
        {"createdAt", rfc3339(manifest.createdAt)},
        {"items", std::move(items)},
        {"machineName", manifest.machineName},
        {"schemaVersion", manifest.schemaVersion},
        {"warnings", manifest.warnings},
    });
}

BackupManifest backupManifestFromJson(std::string_view json) {
    using namespace json_reader;
    const std::string what = "manifest";
    auto object = parseObject(json, what);
    BackupManifest manifest;
    manifest.appName = requireString(object, "appName", what);
    auto created = timestampFromRfc3339(requireString(object, "createdAt", what));
    if (!created) throw JsonReadError("The manifest is not valid: \"createdAt\" must be a time such as 2025-01-31T14:05:09Z.");
    manifest.createdAt = *created;
    manifest.machineName = requireString(object, "machineName", what);
    manifest.schemaVersion = requireInt64(object, "schemaVersion", what);
    manifest.warnings = requireStringArray(object, "warnings", what);
    const std::string entryWhat = "manifest entry";
    for (const auto& element : requireArray(object, "items", what)) {
        const auto& entry = requireObject(element, entryWhat);
        BackupManifestItem item;
        item.byteCount = requireUInt64(entry, "byteCount", entryWhat);
        item.destinationPath = requireString(entry, "destinationPath", entryWhat);
        item.displayName = requireString(entry, "displayName", entryWhat);
        item.fileCount = requireInt64(entry, "fileCount", entryWhat);
        item.id = requireString(entry, "id", entryWhat);
        item.message = optionalString(entry, "message", entryWhat);
        item.sourcePath = requireString(entry, "sourcePath", entryWhat);
        auto status = statusFromRawValue(requireString(entry, "status", entryWhat));
        if (!status) throw JsonReadError("The manifest entry is not valid: \"status\" must be copied, missing or failed.");
        item.status = *status;
        manifest.items.push_back(std::move(item));
    }
    return manifest;
}

}  // namespace brindle
