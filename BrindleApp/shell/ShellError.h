#pragma once

#include <exception>
#include <string>

namespace brindle::shell {

// A failure as the shell keeps and shows it: only its description survives.
struct ShellError {
    std::string localizedDescription;

    // what() of a std::exception; a fixed sentence for anything else.
    static ShellError from(const std::exception_ptr& error);

    friend bool operator==(const ShellError&, const ShellError&) = default;
};

}  // namespace brindle::shell
