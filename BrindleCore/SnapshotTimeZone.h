#pragma once

#include <unicode/timezone.h>

#include <memory>

namespace brindle {

// The time zone whose calendar day names a snapshot: the one `date` uses, for every
// form of the TZ variable the C library accepts. `tzVariable` is TZ's value, or null
// when it is not set (the system's zone, /etc/localtime). A zone file's name
// ("Europe/Berlin", ":Asia/Kolkata", a path below /usr/share/zoneinfo) is taken from
// ICU's copy of the zone database; a POSIX rule ("IST-5:30", "<+14>-14",
// "CET-1CEST,M3.5.0,M10.5.0/3") is read as the C library reads it; anything else, and
// an empty value, is UTC, as the C library takes it.
std::unique_ptr<icu::TimeZone> timeZoneFromVariable(const char* tzVariable);

}  // namespace brindle
