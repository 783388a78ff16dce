#pragma once

#include <functional>
#include <string>
#include <vector>

namespace brindle::testing {

// What `action` asked the kernel to make durable, in order: "fsync <path>",
// "syncfs <path>" and "rename <from> <to>", each descriptor's path read back. A power
// cut keeps only what was synced, so the order is what a test checks. A program that
// uses this gets its own definitions of those C functions, which note the call and
// then make the C library's.
std::vector<std::string> syncCallsOf(const std::function<void()>& action);

}  // namespace brindle::testing
