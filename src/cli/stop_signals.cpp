#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace qev {

namespace {

std::atomic<int> caughtSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

#ifdef _WIN32
constexpr int kSigHup = 1;

BOOL WINAPI onConsoleEvent(DWORD event) {
    // The first request counts; the process ends on its own once the port is closed.
    int expected = 0;
    caughtSignal.compare_exchange_strong(expected, event == CTRL_C_EVENT       ? SIGINT
                                                   : event == CTRL_CLOSE_EVENT ? kSigHup
                                                                               : SIGTERM);
    return TRUE;
}
#else
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[3];

void onSignal(int signal) {
    int expected = 0;
    caughtSignal.compare_exchange_strong(expected, signal);
}
#endif

}  // namespace

StopSignals::StopSignals() {
    caughtSignal = 0;
#ifdef _WIN32
    ::SetConsoleCtrlHandler(&onConsoleEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // the waits poll the flag; no call needs to be cut short
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kSignals[i], &action, &previous[i]);
        // An ignored signal stays ignored (nohup ignores SIGHUP for the command it starts).
        if (previous[i].sa_handler == SIG_IGN)
            ::sigaction(kSignals[i], &previous[i], nullptr);
    }
#endif
}

StopSignals::~StopSignals() {
#ifdef _WIN32
    ::SetConsoleCtrlHandler(&onConsoleEvent, FALSE);
#else
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &previous[i], nullptr);
#endif
}

int StopSignals::caught() {
    return caughtSignal.load();
}

const char* StopSignals::name(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case 1:
            return "SIGHUP";
        default:
            return "a signal";
    }
}

}  // namespace qev
