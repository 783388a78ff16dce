#include "BrindleApp/shell/BackgroundRunner.h"

#include <thread>

namespace brindle::shell {

void ThreadBackgroundRunner::start(Work work) {
    std::thread(std::move(work)).detach();
}

}  // namespace brindle::shell
