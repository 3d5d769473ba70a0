#include "cli/stop_signals.h"

#include "cli/stop_signals_platform.h"

#include <csignal>

namespace qev {

namespace stop_signals {

std::atomic<int> caughtSignal{0};

}  // namespace stop_signals

int StopSignals::caught() {
    return stop_signals::caughtSignal.load();
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
