#pragma once

#include <string>

#include "BrindleCore/BackupManifest.h"

namespace brindle {

// The time in the local time zone, as the C library (and so `date`) sees it,
// written with a strftime(3) format such as "%Y-%m-%d %H:%M:%S %z".
std::string localTime(Timestamp time, const char* format);

// ISO 8601 in local time with its offset: "2025-03-20T13:05:09+01:00".
std::string localIso8601(Timestamp time);

}  // namespace brindle
