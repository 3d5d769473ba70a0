// Ctrl+C, Ctrl+Break and closing the console reach a console program as control events.

#include "cli/stop_signals.h"

#include "cli/stop_signals_platform.h"

#include <windows.h>

#include <csignal>

namespace qev {

namespace {

using stop_signals::caughtSignal;

constexpr int kSigHup = 1;

BOOL WINAPI onConsoleEvent(DWORD event) {
    // The first request counts; the process ends on its own once the port is closed.
    int expected = 0;
    caughtSignal.compare_exchange_strong(expected, event == CTRL_C_EVENT       ? SIGINT
                                                   : event == CTRL_CLOSE_EVENT ? kSigHup
                                                                               : SIGTERM);
    return TRUE;
}

}  // namespace

StopSignals::StopSignals() {
    caughtSignal = 0;
    ::SetConsoleCtrlHandler(&onConsoleEvent, TRUE);
}

StopSignals::~StopSignals() {
    ::SetConsoleCtrlHandler(&onConsoleEvent, FALSE);
}

}  // namespace qev
