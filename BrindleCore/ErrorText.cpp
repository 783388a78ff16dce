#include "BrindleCore/ErrorText.h"

namespace brindle {

std::string errorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return exception.what();
    } catch (...) {
        return "An unknown error occurred.";
    }
}

}  // namespace brindle
