#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace brindle {

// The calendar and wall-clock forms Brindle writes in names and files, read back
// strictly: fixed-width ASCII digits only, no signs, no spaces, no other widths.

// "yyyy-MM-dd" naming a real day of the Gregorian calendar.
std::optional<std::chrono::year_month_day> civilDateFromText(std::string_view text);

// "HH:mm:ss" on a 24-hour clock, 00:00:00 to 23:59:59.
std::optional<std::chrono::seconds> timeOfDayFromText(std::string_view text);

}  // namespace brindle
