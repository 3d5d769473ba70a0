#include "serial/serial_error_code.h"

namespace qev {

std::error_code systemError(int error) {
    return {error, std::system_category()};
}

bool isSystemError(const std::error_code& code) {
    return code.category() == std::system_category();
}

}  // namespace qev
