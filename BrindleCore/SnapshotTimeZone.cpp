#include "BrindleCore/SnapshotTimeZone.h"

#include <unicode/simpletz.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

namespace {

constexpr int kMillisPerSecond = 1000;
constexpr int kMillisPerDay = 24 * 60 * 60 * kMillisPerSecond;

// Reads a POSIX TZ rule the way the C library does: "std offset [dst [offset]
// [,start[/time],end[/time]]]", offsets counted west of Greenwich.
class PosixRule {
public:
    explicit PosixRule(std::string_view text) : text_(text) {}

    std::unique_ptr<icu::TimeZone> parse() {
        if (!name() || !peekOffset()) return nullptr;
        const auto standardWest = offset();
        if (!standardWest) return nullptr;
        const int32_t raw = -*standardWest;
        if (atEnd()) return std::make_unique<icu::SimpleTimeZone>(raw, icu::UnicodeString::fromUTF8(text_));
        if (!name()) return nullptr;
        int32_t daylightWest = *standardWest - 3600 * kMillisPerSecond;
        if (peekOffset()) {
            const auto parsed = offset();
            if (!parsed) return nullptr;
            daylightWest = *parsed;
        }
        // Without rules the C library takes the United States' (its "posixrules").
        Transition start{2, 2, 0, 7200 * kMillisPerSecond, false, 0};
        Transition end{10, 1, 0, 7200 * kMillisPerSecond, false, 0};
        if (!atEnd()) {
            if (!take(',')) return nullptr;
            const auto first = transition();
            if (!first || !take(',')) return nullptr;
            const auto second = transition();
            if (!second || !atEnd()) return nullptr;
            start = *first;
            end = *second;
        }
        const int32_t savings = *standardWest - daylightWest;
        if (savings == 0) return std::make_unique<icu::SimpleTimeZone>(raw, icu::UnicodeString::fromUTF8(text_));
        UErrorCode status = U_ZERO_ERROR;
        auto zone = std::make_unique<icu::SimpleTimeZone>(
            raw, icu::UnicodeString::fromUTF8(text_), start.month, start.day(), start.dayOfWeek(), start.time,
            icu::SimpleTimeZone::WALL_TIME, end.month, end.day(), end.dayOfWeek(), end.time,
            icu::SimpleTimeZone::WALL_TIME, savings, status);
        if (U_FAILURE(status)) return std::make_unique<icu::SimpleTimeZone>(raw, icu::UnicodeString::fromUTF8(text_));
        return zone;
    }

private:
    // A change of time: a month and either a week and weekday ("Mm.w.d") or a day of
    // the month (from "Jn" and "n"), and the time of day, local.
    struct Transition {
        int8_t month;  // 0-based
        int8_t week;   // 1 to 4, or 5 for the last
        int8_t weekday;  // 0 = Sunday
        int32_t time;
        bool byDayOfMonth;
        int8_t dayOfMonth;
        int8_t day() const { return byDayOfMonth ? dayOfMonth : static_cast<int8_t>(week == 5 ? -1 : week); }
        int8_t dayOfWeek() const { return byDayOfMonth ? 0 : static_cast<int8_t>(weekday + 1); }
    };

    bool atEnd() const { return position_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[position_]; }
    bool take(char c) {
        if (peek() != c) return false;
        ++position_;
        return true;
    }
    std::optional<int> number(int most) {
        int value = 0;
        std::size_t digits = 0;
        while (std::isdigit(static_cast<unsigned char>(peek()))) {
            value = value * 10 + (text_[position_++] - '0');
            if (++digits > 3 || value > most) return std::nullopt;
        }
        return digits > 0 ? std::optional<int>(value) : std::nullopt;
    }
    bool peekOffset() const {
        const char c = peek();
        return c == '+' || c == '-' || std::isdigit(static_cast<unsigned char>(c));
    }

    // A zone abbreviation: three or more letters, or anything but ">" within "<>".
    bool name() {
        if (take('<')) {
            const std::size_t close = text_.find('>', position_);
            if (close == std::string_view::npos || close - position_ < 3) return false;
            position_ = close + 1;
            return true;
        }
        const std::size_t start = position_;
        while (std::isalpha(static_cast<unsigned char>(peek()))) ++position_;
        return position_ - start >= 3;
    }

    // [+-]hh[:mm[:ss]] in milliseconds; hours up to `mostHours`.
    std::optional<int32_t> clock(int mostHours) {
        const int sign = take('-') ? -1 : (take('+'), 1);
        const auto hours = number(mostHours);
        if (!hours) return std::nullopt;
        int minutes = 0, seconds = 0;
        if (take(':')) {
            const auto parsed = number(59);
            if (!parsed) return std::nullopt;
            minutes = *parsed;
            if (take(':')) {
                const auto parsedSeconds = number(59);
                if (!parsedSeconds) return std::nullopt;
                seconds = *parsedSeconds;
            }
        }
        return sign * ((*hours * 60 + minutes) * 60 + seconds) * kMillisPerSecond;
    }
    std::optional<int32_t> offset() { return clock(24); }

    std::optional<Transition> transition() {
        Transition result{0, 1, 0, 7200 * kMillisPerSecond, false, 0};
        if (take('M')) {
            const auto month = number(12);
            if (!month || *month < 1 || !take('.')) return std::nullopt;
            const auto week = number(5);
            if (!week || *week < 1 || !take('.')) return std::nullopt;
            const auto weekday = number(6);
            if (!weekday) return std::nullopt;
            result.month = static_cast<int8_t>(*month - 1);
            result.week = static_cast<int8_t>(*week);
            result.weekday = static_cast<int8_t>(*weekday);
        } else {
            // "Jn" counts 1 to 365 and never February 29; "n" counts from 0 and does in
            // a leap year, which a rule by month and day can only follow to a day.
            const bool julian = take('J');
            const auto day = number(365);
            if (!day || (julian && *day < 1)) return std::nullopt;
            int remaining = julian ? *day - 1 : *day;
            static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
            int month = 0;
            while (month < 11 && remaining >= lengths[month]) remaining -= lengths[month++];
            result.byDayOfMonth = true;
            result.month = static_cast<int8_t>(month);
            result.dayOfMonth = static_cast<int8_t>(remaining + 1);
        }
        if (take('/')) {
            const auto time = clock(167);
            if (!time) return std::nullopt;
            // A rule by month and day holds a time of that day; beyond it, the nearest.
            result.time = std::clamp<int32_t>(*time, 0, kMillisPerDay);
        }
        return result;
    }

    std::string_view text_;
    std::size_t position_ = 0;
};

std::unique_ptr<icu::TimeZone> utc() { return std::unique_ptr<icu::TimeZone>(icu::TimeZone::getGMT()->clone()); }

std::string zoneFolder() {
    const char* folder = std::getenv("TZDIR");
    return folder != nullptr && folder[0] == '/' ? folder : "/usr/share/zoneinfo";
}

// The zone database's name for a zone file the C library would read for this value,
// when ICU knows that zone too.
std::optional<std::string> zoneFileName(std::string_view value) {
    const std::string folder = zoneFolder();
    std::string path = !value.empty() && value.front() == '/' ? std::string(value) : folder + "/" + std::string(value);
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    char* resolved = realpath(path.c_str(), nullptr);
    char* resolvedFolder = realpath(folder.c_str(), nullptr);
    std::optional<std::string> name;
    if (resolved != nullptr && resolvedFolder != nullptr) {
        const std::string file = resolved, base = std::string(resolvedFolder) + "/";
        // Named as given where it can be (a link such as "US/Eastern" keeps its name).
        if (value.front() != '/') {
            name = std::string(value);
        } else if (file.compare(0, base.size(), base) == 0) {
            name = file.substr(base.size());
        }
    }
    std::free(resolved);
    std::free(resolvedFolder);
    if (!name) return std::nullopt;
    UErrorCode status2 = U_ZERO_ERROR;
    icu::UnicodeString canonical;
    UBool isSystem = false;
    icu::TimeZone::getCanonicalID(icu::UnicodeString::fromUTF8(*name), canonical, isSystem, status2);
    if (U_FAILURE(status2) || !isSystem) return std::nullopt;
    return name;
}

}  // namespace

std::unique_ptr<icu::TimeZone> timeZoneFromVariable(const char* tzVariable) {
    if (tzVariable == nullptr) return std::unique_ptr<icu::TimeZone>(icu::TimeZone::detectHostTimeZone());
    std::string_view value(tzVariable);
    if (value.empty()) return utc();
    // The C library drops a leading ":", then tries the value as a zone file, then as a
    // rule.
    if (value.front() == ':') value.remove_prefix(1);
    if (const auto file = zoneFileName(value))
        return std::unique_ptr<icu::TimeZone>(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(*file)));
    if (auto rule = PosixRule(value).parse()) return rule;
    return utc();
}

}  // namespace brindle
