#pragma once
// What the device layer and the worker report, below the port component: std::error_code, of
// the system's category for the system's own numbers (errno, GetLastError) and of QEV's own for
// the rest, so that no number of one kind can be read as another. The port component turns them
// into the exceptions and texts the user sees.

#include <system_error>

namespace qev {

enum class SerialErrc {
    device_missing = 1,   // nothing is there (a link to nothing, a port with no hardware)
    device_busy,          // another program holds it
    access_denied,        // the user may not open it (on Debian: not in dialout)
    device_gone,          // it went away while open (unplugged, hung up)
    invalid_handle,       // the handle is not (or no longer) valid
    not_serial_device,    // a file, pipe, folder or another device in its place
    unexaminable,         // its name could not be looked at
    threads_not_started,  // a thread of the worker did not start in time
    write_failed,         // a thread's write failed: "Device write error"
    read_failed,          // a thread's read failed: "Device read error"
    out_of_memory,
    output_buffer_too_small,  // a message that does not fit the output ring
    comm_not_open,            // no device is open
    // A port behind a serial device server:
    open_cancelled,       // a stop was asked for while it connected
    host_not_found,       // the server's name is not known
    lookup_failed,        // the name could not be looked up (no answer from the name servers)
    connection_refused,   // nothing takes connections there
    connect_timeout,      // no answer to the connection in time
    connection_closed,    // the server closed the connection
    negotiation_timeout,  // RFC 2217: no answer to the offer or to a setting in time
    protocol_refused,     // RFC 2217: the server does not speak it
    settings_refused,     // RFC 2217: the server set the line otherwise than asked
};

const std::error_category& serialCategory();
std::error_code make_error_code(SerialErrc e);

// The system's own error number as a code: errno on POSIX, GetLastError on Windows, each with
// the system's texts.
std::error_code systemError(int error);
// Whether code is one of the system's numbers, as systemError makes them.
bool isSystemError(const std::error_code& code);

}  // namespace qev

template <>
struct std::is_error_code_enum<qev::SerialErrc> : std::true_type {};
