#include "BrindleApp/shell/ShellError.h"

namespace brindle::shell {

ShellError ShellError::from(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return {exception.what()};
    } catch (...) {
        return {"An unknown error occurred."};
    }
}

}  // namespace brindle::shell
