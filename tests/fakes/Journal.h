#pragma once

#include <string>
#include <vector>

namespace brindle::testing {

// One ordered record of what several fakes were asked to do, for tests about order.
class Journal {
public:
    void record(std::string entry) { entries_.push_back(std::move(entry)); }
    const std::vector<std::string>& entries() const { return entries_; }
    void clear() { entries_.clear(); }

private:
    std::vector<std::string> entries_;
};

}  // namespace brindle::testing
