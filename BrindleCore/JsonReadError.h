#pragma once

#include <stdexcept>

namespace brindle {

// A JSON text that does not hold the record asked for.
class JsonReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace brindle
