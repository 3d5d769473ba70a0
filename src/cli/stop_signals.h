#pragma once
// Ctrl+C, SIGTERM and SIGHUP during a command (Ctrl+C, Ctrl+Break and closing the console on
// Windows): the send stops at once and the port is closed properly, so the line never keeps
// QEV's exclusive mark; the command then exits with 128 + the signal's number.

namespace qev {

class StopSignals {
public:
    StopSignals();   // catches them from now on
    ~StopSignals();  // puts the earlier handling back
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal that asked to stop (SIGINT 2, SIGHUP 1, SIGTERM 15), 0 while none has.
    static int caught();
    // Its name for messages: "SIGINT".
    static const char* name(int signal);
};

}  // namespace qev
