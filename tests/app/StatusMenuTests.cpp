#include <gtest/gtest.h>
#include <unicode/locid.h>

#include "tests/app/ShellHarness.h"

namespace brindle::testing {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

TEST(StatusLine, FollowsTheFirstRuleThatAppliesWithTheAgeInItsLargestUnit) {
    shell::RelativeDateFormatter formatter("en");
    // Mid-month, mid-day, away from daylight-saving changes in any zone.
    const Timestamp now = sys_days(year(2025) / 6 / 15) + 12h;
    // Backing up, the last backup's date, the last error, and the line.
    const std::vector<std::tuple<bool, std::optional<Timestamp>, std::optional<std::string>, std::string>> cases {
        {true, now - 1h, "disk full", "Backing up Codex files..."},
        {false, now - 5min, "login item failed", "Last synced 5 minutes ago"},
        {false, std::nullopt, "disk full", "Backup failed: disk full"},
        {false, std::nullopt, std::nullopt, "Brindle is ready"},
        {false, now - 59900ms, std::nullopt, "Last synced just now"},
        {false, now + 1h, std::nullopt, "Last synced just now"},
        {false, now - 60s, std::nullopt, "Last synced 1 minute ago"},
        {false, now - 5min - 59s, std::nullopt, "Last synced 5 minutes ago"},
        {false, now - 23h, std::nullopt, "Last synced 23 hours ago"},
        {false, now - 29h, std::nullopt, "Last synced 1 day ago"},
        {false, now - 13 * 24h, std::nullopt, "Last synced 1 week ago"},
        {false, sys_days(year(2025) / 4 / 14) + 12h, std::nullopt, "Last synced 2 months ago"},
        {false, sys_days(year(2023) / 1 / 15) + 12h, std::nullopt, "Last synced 2 years ago"},
    };
    for (const auto& [backingUp, createdAt, error, line] : cases)
        EXPECT_EQ(shell::statusTitle(backingUp, createdAt, error, now, formatter), line);
}

TEST(StatusLine, OpeningTheMenuRefreshesTheAgeInTheMenusLanguage) {
    // The user's locale as ICU sees it; the menu is not translated yet.
    const icu::Locale saved = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("de_DE"), status);
    ShellHarness shell;
    shell.launchIdle();
    shell.advance(5min);
    EXPECT_EQ(shell.statusLine(), "Last synced 5 minutes ago");
    icu::Locale::setDefault(saved, status);
}

}  // namespace
}  // namespace brindle::testing
