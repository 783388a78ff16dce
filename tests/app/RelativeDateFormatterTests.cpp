#include <gtest/gtest.h>

#include "BrindleApp/shell/RelativeDateFormatter.h"

namespace brindle::testing {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

TEST(RelativeDateFormatter, NamesTheLargestUnitThatIsNotZeroInFull) {
    shell::IcuRelativeDateFormatter formatter("en_US");
    // Mid-month, mid-day, away from daylight-saving changes in any zone.
    const Timestamp now = sys_days(year(2025) / 6 / 15) + 12h;
    struct Case {
        Timestamp date;
        std::string phrase;
    };
    const std::vector<Case> cases {
        {now - 1min, "1 minute ago"},
        {now - 5min - 59s, "5 minutes ago"},
        {now - 59min, "59 minutes ago"},
        {now - 1h - 30min, "1 hour ago"},
        {now - 23h, "23 hours ago"},
        {now - 24h - 5h, "1 day ago"},
        {now - 6 * 24h, "6 days ago"},
        {now - 13 * 24h, "1 week ago"},
        {now - 21 * 24h, "3 weeks ago"},
        {sys_days(year(2025) / 4 / 14) + 12h, "2 months ago"},
        {sys_days(year(2023) / 1 / 15) + 12h, "2 years ago"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatter.localizedString(c.date, now), c.phrase);
    }
}

TEST(RelativeDateFormatter, SpeaksTheLocalesLanguage) {
    shell::IcuRelativeDateFormatter formatter("de_DE");
    const Timestamp now = sys_days(year(2025) / 6 / 15) + 12h;
    EXPECT_EQ(formatter.localizedString(now - 3h, now), "vor 3 Stunden");
}

}  // namespace
}  // namespace brindle::testing
