#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

using Timestamp = std::chrono::system_clock::time_point;

struct BackupManifestItem {
    enum class Status { copied, missing, failed };

    std::string id;
    std::string displayName;
    std::string sourcePath;
    std::string destinationPath;
    Status status = Status::copied;
    std::int64_t fileCount = 0;
    std::uint64_t byteCount = 0;
    std::optional<std::string> message;

    friend bool operator==(const BackupManifestItem&, const BackupManifestItem&) = default;
};

std::string_view rawValue(BackupManifestItem::Status status);
std::optional<BackupManifestItem::Status> statusFromRawValue(std::string_view text);

struct BackupManifest {
    std::string appName = "Brindle";
    std::int64_t schemaVersion = 1;
    Timestamp createdAt;
    std::string machineName;
    std::vector<BackupManifestItem> items;
    std::vector<std::string> warnings;

    friend bool operator==(const BackupManifest&, const BackupManifest&) = default;
};

// The name of the manifest in staging and in every published backup.
inline constexpr const char* kManifestFileName = "manifest.json";

// "manifest.json" text form. Writing never fails; reading throws JsonReadError.
std::string toJson(const BackupManifest& manifest);
BackupManifest backupManifestFromJson(std::string_view json);

// RFC 3339 in UTC with whole seconds ("2025-01-31T14:05:09Z"); the fraction is dropped.
std::string rfc3339(Timestamp time);
// Reads exactly that form; nullopt for anything else.
std::optional<Timestamp> timestampFromRfc3339(std::string_view text);

}  // namespace brindle
