#pragma once

#include <deque>
#include <stdexcept>
#include <system_error>

#include "BrindleApp/shell/BackgroundRunner.h"
#include "tests/fakes/Journal.h"

namespace brindle::testing {

// Holds each piece of work until the test runs it, on the test's own thread.
class FakeBackgroundRunner final : public shell::BackgroundRunner {
public:
    explicit FakeBackgroundRunner(Journal& journal) : journal_(journal) {}

    void start(Work work) override {
        journal_.record("background start");
        if (refuseToStart) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        waiting_.push_back(std::move(work));
    }

    std::size_t waitingCount() const { return waiting_.size(); }
    void runNext() {
        if (waiting_.empty()) throw std::logic_error("no background work waiting");
        Work work = std::move(waiting_.front());
        waiting_.pop_front();
        work();
    }

    // As when no thread can be had.
    bool refuseToStart = false;

private:
    Journal& journal_;
    std::deque<Work> waiting_;
};

}  // namespace brindle::testing
