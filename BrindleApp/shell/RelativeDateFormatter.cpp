#include "BrindleApp/shell/RelativeDateFormatter.h"

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/reldatefmt.h>

#include <array>
#include <chrono>
#include <utility>

namespace brindle::shell {

namespace {

struct Unit {
    UCalendarDateFields field;
    UDateRelativeUnit relativeUnit;
    const char* englishName;
};

// Largest first: the phrase names the first of these that is not zero.
constexpr std::array<Unit, 6> units {{
    {UCAL_YEAR, UDAT_RELATIVE_YEARS, "year"},
    {UCAL_MONTH, UDAT_RELATIVE_MONTHS, "month"},
    {UCAL_WEEK_OF_YEAR, UDAT_RELATIVE_WEEKS, "week"},
    {UCAL_DATE, UDAT_RELATIVE_DAYS, "day"},
    {UCAL_HOUR_OF_DAY, UDAT_RELATIVE_HOURS, "hour"},
    {UCAL_MINUTE, UDAT_RELATIVE_MINUTES, "minute"},
}};

UDate toUDate(Timestamp time) {
    return static_cast<UDate>(
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
}

// Used only where the ICU data cannot be loaded, so that the status line still reads.
std::string englishPhrase(std::int32_t amount, const Unit& unit) {
    return std::to_string(amount) + " " + unit.englishName + (amount == 1 ? "" : "s") + " ago";
}

}  // namespace

struct RelativeDateFormatter::Icu {
    std::unique_ptr<icu::Calendar> calendar;
    std::unique_ptr<icu::RelativeDateTimeFormatter> formatter;

    explicit Icu(const icu::Locale& locale) {
        UErrorCode status = U_ZERO_ERROR;
        calendar.reset(icu::Calendar::createInstance(locale, status));
        if (U_FAILURE(status)) calendar.reset();
        status = U_ZERO_ERROR;
        formatter = std::make_unique<icu::RelativeDateTimeFormatter>(
            locale, nullptr, UDAT_STYLE_LONG, UDISPCTX_CAPITALIZATION_NONE, status);
        if (U_FAILURE(status)) formatter.reset();
    }

    // The first non-zero unit between the two dates, or zero minutes.
    std::pair<std::int32_t, const Unit*> largestDifference(Timestamp date, Timestamp relativeTo) {
        const Unit* minutes = &units.back();
        if (date >= relativeTo) return {0, minutes};
        if (!calendar) {
            const auto count = std::chrono::duration_cast<std::chrono::minutes>(relativeTo - date).count();
            return {static_cast<std::int32_t>(count), minutes};
        }
        UErrorCode status = U_ZERO_ERROR;
        calendar->setTime(toUDate(date), status);
        const UDate target = toUDate(relativeTo);
        for (const Unit& unit : units) {
            // Each call also moves the calendar on by what it counted, so the next
            // unit measures only the remainder.
            const std::int32_t amount = calendar->fieldDifference(target, unit.field, status);
            if (U_FAILURE(status)) break;
            if (amount > 0) return {amount, &unit};
        }
        return {0, minutes};
    }
};

RelativeDateFormatter::RelativeDateFormatter(const std::string& localeName)
    : icu_(std::make_unique<Icu>(icu::Locale::createFromName(localeName.c_str()))) {}

RelativeDateFormatter::~RelativeDateFormatter() = default;

std::string RelativeDateFormatter::localizedString(Timestamp date, Timestamp relativeTo) {
    const auto [amount, unit] = icu_->largestDifference(date, relativeTo);
    if (icu_->formatter) {
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeString phrase;
        icu_->formatter->format(static_cast<double>(amount), UDAT_DIRECTION_LAST, unit->relativeUnit, phrase, status);
        if (U_SUCCESS(status)) {
            std::string text;
            return phrase.toUTF8String(text);
        }
    }
    return englishPhrase(amount, *unit);
}

}  // namespace brindle::shell
