#include "BrindleCore/CivilTime.h"

#include <charconv>

namespace brindle {

namespace {

// The number written by exactly text[at, at + width); unsigned, so a sign never passes.
std::optional<unsigned> digits(std::string_view text, std::size_t at, std::size_t width) {
    unsigned value = 0;
    const char* end = text.data() + at + width;
    if (std::from_chars(text.data() + at, end, value).ptr != end) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::chrono::year_month_day> civilDateFromText(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto y = digits(text, 0, 4), m = digits(text, 5, 2), d = digits(text, 8, 2);
    if (!y || !m || !d) return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year{static_cast<int>(*y)}, std::chrono::month{*m},
                                           std::chrono::day{*d}};
    if (!date.ok()) return std::nullopt;
    return date;
}

std::optional<std::chrono::seconds> timeOfDayFromText(std::string_view text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
    const auto h = digits(text, 0, 2), m = digits(text, 3, 2), s = digits(text, 6, 2);
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
    return std::chrono::hours{*h} + std::chrono::minutes{*m} + std::chrono::seconds{*s};
}

}  // namespace brindle
