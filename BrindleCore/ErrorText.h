#pragma once

#include <exception>
#include <string>

namespace brindle {

// The sentence a user reads for a caught error: its what(), which the core's errors
// write for a user, or a plain sentence for one that is no std::exception.
std::string errorText(const std::exception_ptr& error);

}  // namespace brindle
