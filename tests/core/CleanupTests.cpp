#include <unicode/gregocal.h>

#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "BrindleCore/Cleanup.h"
#include "BrindleCore/SnapshotNames.h"
#include "BrindleCore/SnapshotTimeZone.h"
#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/ChildProcess.h"

namespace brindle::testing {
namespace {

TEST(SnapshotNames, OnlyRealDatesInTheExactForm) {
    EXPECT_EQ(snapshotDay("2025-01-31"), 20250131);
    EXPECT_EQ(snapshotDay("2024-02-29"), 20240229);
    for (const char* bad : {"2025-02-29", "2025-13-01", "2025-00-10", "2025-1-31", " 2025-01-31", "-025-01-31",
                            "02025-01-31", "2025-01-31 2", "2025/01/31", "\u0662\u0660\u0662\u0665-01-31", "latest", ""}) {
        EXPECT_FALSE(isSnapshotName(bad)) << bad;
    }
}

TEST(SnapshotNames, NumberedCopiesAreReadAsWordsOfGraphemes) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        {"latest 2", "latest"}, {"latest  2", "latest"}, {" my  folder 3 ", "my folder"}, {"latest 2 3", "latest 2"},
        {"2025-01-31 2", "2025-01-31"},
        {"latest \uFF12", "latest"},   // full-width digit
        {"latest \u00BD", "latest"},   // one half
        {"latest \u2167", "latest"},   // Roman numeral eight
        {"latest 2\u0301", "latest"},  // a mark belongs to its digit
        {"latest \u03012", {}},        // a space with a mark is no space
        {"latest (2)", {}}, {"latest-2", {}}, {"manifest 2.json", {}}, {"latest", {}}, {"2", {}}, {" 2", {}}, {"latest 2a", {}}};
    for (const auto& [name, base] : cases) EXPECT_EQ(numberedCopyBaseName(name), base) << name;
}

// The day `date` shows, for every form of TZ the C library reads.
TEST(SnapshotNames, TheDayIsTheLocalDayTheCLibraryShows) {
    const auto outcome = inChildProcess([]() -> std::string {
        const std::vector<std::string> zones{
            "IST-5:30", "<+14>-14", "<-0330>3:30", "<+0545>-5:45", "JST-9", "EST5EDT", "EST5EDT,M3.2.0,M11.1.0",
            "CET-1CEST,M3.5.0,M10.5.0/3", "NZST-12NZDT,M9.5.0,M4.1.0/3", "AEST-10AEDT,M10.1.0,M4.1.0/3",
            "XST3XDT,J60/1,J300/1", "Europe/Berlin", ":Asia/Kolkata", "America/St_Johns", "/usr/share/zoneinfo/Asia/Tokyo",
            "UTC", "", "GMT+5", "nonsense", ":IST-5:30"};
        for (const auto& tz : zones) {
            setenv("TZ", tz.c_str(), 1);
            tzset();
            const auto zone = timeZoneFromVariable(tz.c_str());
            UErrorCode status = U_ZERO_ERROR;
            icu::GregorianCalendar calendar(*zone, status);
            // Every 97 minutes over two years reaches every hour of the day and both
            // sides of every change of time.
            for (std::time_t t = 1735689600; t < 1735689600 + 2 * 366 * 86400; t += 97 * 60) {
                std::tm local {};
                localtime_r(&t, &local);
                calendar.setTime(static_cast<UDate>(t) * 1000.0, status);
                const int ours = calendar.get(UCAL_YEAR, status) * 10000 + (calendar.get(UCAL_MONTH, status) + 1) * 100 +
                                 calendar.get(UCAL_DATE, status);
                const int theirs = (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
                if (U_FAILURE(status)) return "ICU failed for " + tz;
                if (ours != theirs)
                    return "TZ=" + tz + " at " + std::to_string(t) + ": " + std::to_string(ours) + " where date says " +
                           std::to_string(theirs);
            }
        }
        return "";
    });
    EXPECT_EQ(outcome.failure, "");
}

TEST(DuplicateCleanup, RemovesCopiesOfTheTopNamesOfEnabledItemsFilesAndFoldersAlike) {
    TemporaryFolder temp;
    PosixFileManager files;
    const Path latest = temp / "latest";
    makeFolder(latest / "Codex 2/skills");
    writeFile(latest / "Agents 5", "");
    writeFile(latest / "manifest 2.json", "");
    makeFolder(latest / "Codex");
    makeFolder(latest / "codex 3");
    auto items = DefaultBackupItems::items("/home/me");
    items.push_back({"odd", "Odd", "/x", "//Extra/inner", {}, false});
    items.push_back({"flat", "Flat", "/y", "Single", {}, false});
    items.push_back({"empty", "Empty", "/z", "///", {}, false});
    BackupSettings settings{"/b", {}, 30};
    removeManagedDuplicateFolders(files, latest, managedTopLevelFolderNames(items, settings));
    EXPECT_EQ(treeOf(latest).size(), 6u) << "nothing enabled is nothing removed";
    settings.enabledItemIDs = {"codex-rules", "agent-skills", "odd", "flat", "empty"};
    EXPECT_EQ(managedTopLevelFolderNames(items, settings), (std::set<std::string>{"Codex", "Agents", "Extra", "Single"}));
    removeManagedDuplicateFolders(files, latest, managedTopLevelFolderNames(items, settings));
    EXPECT_EQ(treeOf(latest), (Tree{{"manifest 2.json", ""}, {"Codex", "<dir>"}, {"codex 3", "<dir>"}}));
}

}  // namespace
}  // namespace brindle::testing
