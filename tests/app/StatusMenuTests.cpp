#include <gtest/gtest.h>
#include <unicode/locid.h>

#include "tests/app/ShellHarness.h"

namespace brindle::testing {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

TEST(StatusLine, FollowsTheFirstRuleThatAppliesWithTheAgeInFullUnits) {
    shell::RelativeDateFormatter formatter("en");
    // Mid-month, mid-day, away from daylight-saving changes in any zone.
    const Timestamp now = sys_days(year(2025) / 6 / 15) + 12h;
    struct Case {
        bool backingUp;
        std::optional<Timestamp> createdAt;
        std::optional<std::string> error;
        std::string line;
    };
    const std::vector<Case> cases {
        {true, now - 1h, "disk full", "Backing up Codex files..."},
        {false, now - 5min, "login item failed", "Last synced 5 minutes ago"},
        {false, std::nullopt, "disk full", "Backup failed: disk full"},
        {false, std::nullopt, std::nullopt, "Brindle is ready"},
        {false, now - 59900ms, std::nullopt, "Last synced just now"},
        {false, now + 1h, std::nullopt, "Last synced just now"},
        {false, now - 60s, std::nullopt, "Last synced 1 minute ago"},
        {false, now - 5min - 59s, std::nullopt, "Last synced 5 minutes ago"},
        {false, now - 1h - 30min, std::nullopt, "Last synced 1 hour ago"},
        {false, now - 23h, std::nullopt, "Last synced 23 hours ago"},
        {false, now - 29h, std::nullopt, "Last synced 1 day ago"},
        {false, now - 6 * 24h, std::nullopt, "Last synced 6 days ago"},
        {false, now - 13 * 24h, std::nullopt, "Last synced 1 week ago"},
        {false, now - 21 * 24h, std::nullopt, "Last synced 3 weeks ago"},
        {false, sys_days(year(2025) / 4 / 14) + 12h, std::nullopt, "Last synced 2 months ago"},
        {false, sys_days(year(2023) / 1 / 15) + 12h, std::nullopt, "Last synced 2 years ago"},
    };
    for (const Case& c : cases) EXPECT_EQ(shell::statusTitle(c.backingUp, c.createdAt, c.error, now, formatter), c.line);
}

// The user's locale as ICU sees it, for the length of a test.
struct DefaultLocale {
    explicit DefaultLocale(const char* name) { set(icu::Locale(name)); }
    ~DefaultLocale() { set(saved); }
    static void set(const icu::Locale& locale) {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(locale, status);
    }
    icu::Locale saved = icu::Locale::getDefault();
};

TEST(StatusLine, OpeningTheMenuRefreshesTheAgeInTheMenusLanguage) {
    DefaultLocale german("de_DE");
    ShellHarness shell;
    shell.writeSettings({"/nowhere", {}, 1000});
    shell.launchIdle();
    shell.launchAtLogin.current = shell::LaunchAtLoginStatus::enabled;

    shell.clock.advance(5min);
    EXPECT_EQ(shell.statusItem.statusLine(), "Last synced 5 minutes ago");
    shell.clock.advance(2h);
    EXPECT_EQ(shell.statusItem.statusLine(), "Last synced 2 hours ago");
    EXPECT_EQ(shell.statusItem.item("Launch at Login").checked, false) << "the check mark waits for a rebuild";
}

}  // namespace
}  // namespace brindle::testing
