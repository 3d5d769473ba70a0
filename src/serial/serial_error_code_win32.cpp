// GetLastError's numbers with the system's own texts (FormatMessage): the runtime's system
// category here would read them as errno values.

#include "serial/serial_error_code.h"

#include <QString>

#include <windows.h>

#include <string>

namespace qev {

namespace {

class Win32Category final : public std::error_category {
public:
    const char* name() const noexcept override { return "win32"; }
    std::string message(int value) const override {
        wchar_t buffer[512];
        const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                         nullptr, DWORD(value), 0, buffer, 512, nullptr);
        if (n == 0)
            return "error " + std::to_string(value);
        return QString::fromWCharArray(buffer, int(n)).trimmed().toStdString();
    }
};

const Win32Category& win32Category() {
    static const Win32Category category;
    return category;
}

}  // namespace

std::error_code systemError(int error) {
    return {error, win32Category()};
}

bool isSystemError(const std::error_code& code) {
    return code.category() == win32Category();
}

}  // namespace qev
