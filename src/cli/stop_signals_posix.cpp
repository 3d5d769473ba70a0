#include "cli/stop_signals.h"

#include "cli/stop_signals_platform.h"

#include <signal.h>

namespace qev {

namespace {

using stop_signals::caughtSignal;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[3];

void onSignal(int signal) {
    int expected = 0;
    caughtSignal.compare_exchange_strong(expected, signal);
}

}  // namespace

StopSignals::StopSignals() {
    caughtSignal = 0;
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
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &previous[i], nullptr);
}

}  // namespace qev
