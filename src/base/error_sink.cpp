#include "base/error_sink.h"

#include <atomic>
#include <utility>

namespace qev {

namespace {

ErrorReporter& reporter() {
    static ErrorReporter installed;
    return installed;
}

// Atomic: the application's event guard runs on every thread that delivers events.
std::atomic<unsigned> reported{0};

}  // namespace

void runGuarded(const std::function<void()>& body) {
    try {
        body();
    } catch (...) {
        // Copy first: the reporter may replace itself while it shows the error.
        const ErrorReporter report = reporter();
        if (!report) {
            throw;
        }
        ++reported;
        report(std::current_exception());
    }
}

unsigned reportedErrorCount() {
    return reported;
}

void setErrorReporter(ErrorReporter r) {
    reporter() = std::move(r);
}

}  // namespace qev
