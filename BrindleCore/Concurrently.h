#pragma once

#include <functional>
#include <vector>

namespace brindle {

// How many threads a run uses for work that can overlap. Most of a run is kernel
// time spent creating and filling files, which a second core roughly halves; more
// than two would mostly contend for the same folders' locks and take cores from the
// user's own work while a backup runs in the background.
unsigned concurrentThreadCount();

// Runs every task, at most `threads` at a time (the calling thread is one of them),
// and returns when all have finished. If tasks throw, the exception of the earliest
// one in the list is rethrown once every task is done, so that what a caller reports
// does not depend on which thread was faster. When no thread can be started, the
// calling thread runs them all.
void runConcurrently(const std::vector<std::function<void()>>& tasks, unsigned threads = concurrentThreadCount());

}  // namespace brindle
