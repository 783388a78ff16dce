#include "BrindleCore/Concurrently.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

namespace brindle {

unsigned concurrentThreadCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 2 : std::min(cores, 2u);
}

void runConcurrently(const std::vector<std::function<void()>>& tasks, unsigned threads) {
    std::vector<std::exception_ptr> errors(tasks.size());
    std::atomic<std::size_t> nextTask{0};
    auto work = [&] {
        for (std::size_t task = nextTask++; task < tasks.size(); task = nextTask++) {
            try {
                tasks[task]();
            } catch (...) {
                errors[task] = std::current_exception();
            }
        }
    };

    const std::size_t helpers = std::min<std::size_t>(std::max(threads, 1u) - 1, tasks.size() > 0 ? tasks.size() - 1 : 0);
    std::vector<std::thread> started;
    started.reserve(helpers);
    for (std::size_t i = 0; i < helpers; ++i) {
        try {
            started.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // out of threads: the ones running, and this one, share the rest
        }
    }
    work();
    for (auto& thread : started) thread.join();

    for (auto& error : errors) {
        if (error) std::rethrow_exception(error);
    }
}

}  // namespace brindle
