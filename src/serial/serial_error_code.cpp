#include "serial/serial_error_code.h"

#include <string>

namespace qev {

namespace {

class SerialCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "qev.serial"; }
    std::string message(int value) const override {
        switch (SerialErrc(value)) {
            case SerialErrc::device_missing:
                return "no such device";
            case SerialErrc::device_busy:
                return "the device is in use";
            case SerialErrc::access_denied:
                return "permission denied";
            case SerialErrc::device_gone:
                return "the device went away";
            case SerialErrc::invalid_handle:
                return "invalid handle";
            case SerialErrc::not_serial_device:
                return "not a serial device";
            case SerialErrc::unexaminable:
                return "the path cannot be examined";
            case SerialErrc::threads_not_started:
                return "a thread of the port did not start";
            case SerialErrc::write_failed:
                return "device write error";
            case SerialErrc::read_failed:
                return "device read error";
            case SerialErrc::out_of_memory:
                return "out of memory";
            case SerialErrc::output_buffer_too_small:
                return "output buffer too small for block";
            case SerialErrc::comm_not_open:
                return "device not open";
            case SerialErrc::open_cancelled:
                return "cancelled";
            case SerialErrc::host_not_found:
                return "host not found";
            case SerialErrc::lookup_failed:
                return "host name lookup failed";
            case SerialErrc::connection_refused:
                return "connection refused";
            case SerialErrc::connect_timeout:
                return "no answer from the server";
            case SerialErrc::connection_closed:
                return "the server closed the connection";
            case SerialErrc::negotiation_timeout:
                return "no answer to the line settings";
            case SerialErrc::protocol_refused:
                return "the server does not speak RFC 2217";
            case SerialErrc::settings_refused:
                return "the server did not apply the line settings";
        }
        return "unknown serial error";
    }
};

}  // namespace

const std::error_category& serialCategory() {
    static const SerialCategory category;
    return category;
}

std::error_code make_error_code(SerialErrc e) {
    return {int(e), serialCategory()};
}

}  // namespace qev
