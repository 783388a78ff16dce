#pragma once

#include <memory>
#include <string>

#include "BrindleCore/BackupManifest.h"

namespace brindle::shell {

// Words for how long ago something happened, e.g. "5 minutes ago": ICU's wording with
// full unit names, in the largest unit that is not zero among years, months, weeks,
// days, hours and minutes, counted in the locale's calendar and the default time
// zone. Dates less than a minute before `relativeTo`, or after it, count as zero
// minutes.
class RelativeDateFormatter {
public:
    // A locale by its ICU name, e.g. "en".
    explicit RelativeDateFormatter(const std::string& localeName);
    ~RelativeDateFormatter();
    RelativeDateFormatter(const RelativeDateFormatter&) = delete;
    RelativeDateFormatter& operator=(const RelativeDateFormatter&) = delete;

    std::string localizedString(Timestamp date, Timestamp relativeTo);

private:
    struct Icu;
    std::unique_ptr<Icu> icu_;
};

}  // namespace brindle::shell
