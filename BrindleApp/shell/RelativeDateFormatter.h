#pragma once

#include <memory>
#include <string>

#include "BrindleCore/BackupManifest.h"

namespace brindle::shell {

// Words for how long ago something happened, e.g. "5 minutes ago".
class RelativeDateFormatter {
public:
    virtual ~RelativeDateFormatter() = default;
    virtual std::string localizedString(Timestamp date, Timestamp relativeTo) = 0;
};

// ICU's wording with full unit names, in the largest unit that is not zero among
// years, months, weeks, days, hours and minutes, counted in the locale's calendar and
// the default time zone. Dates less than a minute before `relativeTo`, or after it,
// count as zero minutes.
class IcuRelativeDateFormatter final : public RelativeDateFormatter {
public:
    // The user's locale.
    IcuRelativeDateFormatter();
    // A locale by its ICU name, e.g. "en_US".
    explicit IcuRelativeDateFormatter(const std::string& localeName);
    ~IcuRelativeDateFormatter() override;

    std::string localizedString(Timestamp date, Timestamp relativeTo) override;

private:
    struct Icu;
    std::unique_ptr<Icu> icu_;
};

}  // namespace brindle::shell
