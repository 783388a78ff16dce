#include "BrindleCore/LocalTime.h"

#include <ctime>

namespace brindle {

std::string localTime(Timestamp time, const char* format) {
    const std::time_t seconds =
        static_cast<std::time_t>(std::chrono::floor<std::chrono::seconds>(time.time_since_epoch()).count());
    std::tm local {};
    char text[128];
    if (localtime_r(&seconds, &local) == nullptr || std::strftime(text, sizeof text, format, &local) == 0) {
        // A time the C library cannot place: say it in UTC rather than not at all.
        return rfc3339(time);
    }
    return text;
}

std::string localIso8601(Timestamp time) {
    const std::string text = localTime(time, "%Y-%m-%dT%H:%M:%S%z");
    // strftime writes the offset as +0100; ISO 8601's extended form wants +01:00.
    const std::size_t size = text.size();
    if (size < 5 || (text[size - 5] != '+' && text[size - 5] != '-')) return text;
    std::string extended;
    extended.append(text, 0, size - 2).push_back(':');
    extended.append(text, size - 2, 2);
    return extended;
}

}  // namespace brindle
