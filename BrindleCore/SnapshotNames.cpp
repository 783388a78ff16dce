#include "BrindleCore/SnapshotNames.h"

#include <cstdlib>

#include <unicode/brkiter.h>
#include <unicode/calendar.h>
#include <unicode/gregocal.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "BrindleCore/CivilTime.h"
#include "BrindleCore/SnapshotTimeZone.h"

namespace brindle {

namespace {

// ICU formatters are not safe for concurrent use, so the shared one is used under
// a lock; it is made once, and its time zone is fixed at that moment.
struct SnapshotFormatter {
    std::mutex mutex;
    std::unique_ptr<icu::SimpleDateFormat> format;
};

SnapshotFormatter& sharedFormatter() {
    static SnapshotFormatter formatter;
    static std::once_flag once;
    std::call_once(once, [] {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale posix("en_US_POSIX");
        auto format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString("yyyy-MM-dd"), posix, status);
        if (U_FAILURE(status)) throw std::runtime_error("The snapshot date format could not be made.");
        // The zone `date` would use; ICU's own default misreads POSIX rules such as
        // "IST-5:30" as UTC.
        auto calendar = std::make_unique<icu::GregorianCalendar>(timeZoneFromVariable(std::getenv("TZ")).release(), posix,
                                                                 status);
        if (U_FAILURE(status)) throw std::runtime_error("The snapshot calendar could not be made.");
        // A proleptic Gregorian calendar, so that no Julian switch applies to old dates.
        calendar->setGregorianChange(-8.64e15, status);
        format->adoptCalendar(calendar.release());
        formatter.format = std::move(format);
    });
    return formatter;
}

}  // namespace

std::string snapshotFolderName(Timestamp now) {
    auto& formatter = sharedFormatter();
    const double millis =
        static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
    icu::UnicodeString text;
    {
        std::lock_guard lock(formatter.mutex);
        formatter.format->format(millis, text);
    }
    std::string result;
    text.toUTF8String(result);
    return result;
}

std::optional<int> snapshotDay(std::string_view name) {
    const auto date = civilDateFromText(name);
    if (!date) return std::nullopt;
    return static_cast<int>(date->year()) * 10000 + static_cast<int>(static_cast<unsigned>(date->month())) * 100 +
           static_cast<int>(static_cast<unsigned>(date->day()));
}

std::optional<std::string> numberedCopyBaseName(std::string_view name) {
    // Fast path: a name without a space has one word and is never a numbered copy.
    if (name.find(' ') == std::string_view::npos) return std::nullopt;

    icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
    UErrorCode status = U_ZERO_ERROR;
    thread_local std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (!characters) return std::nullopt;
    characters->setText(text);

    // Words are runs of grapheme clusters between clusters that are a lone U+0020.
    std::vector<std::pair<int32_t, int32_t>> words;
    int32_t wordStart = -1;
    bool lastWordNumeric = true;
    for (int32_t start = characters->first(), end = characters->next(); end != icu::BreakIterator::DONE;
         start = end, end = characters->next()) {
        bool isSpace = end - start == 1 && text.charAt(start) == u' ';
        if (isSpace) {
            if (wordStart >= 0) words.emplace_back(wordStart, start);
            wordStart = -1;
            continue;
        }
        if (wordStart < 0) {
            wordStart = start;
            lastWordNumeric = true;
        }
        UChar32 first = text.char32At(start);
        if (u_getIntPropertyValue(first, UCHAR_NUMERIC_TYPE) == U_NT_NONE) lastWordNumeric = false;
    }
    if (wordStart >= 0) words.emplace_back(wordStart, text.length());
    if (words.size() < 2 || !lastWordNumeric) return std::nullopt;

    icu::UnicodeString base;
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        if (i > 0) base += u' ';
        base.append(text, words[i].first, words[i].second - words[i].first);
    }
    std::string result;
    base.toUTF8String(result);
    return result;
}

}  // namespace brindle
