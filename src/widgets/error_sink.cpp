#include "widgets/error_sink.h"

#include <utility>

namespace qev {

namespace {

ErrorReporter& reporter() {
    static ErrorReporter installed;
    return installed;
}

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
        report(std::current_exception());
    }
}

void setErrorReporter(ErrorReporter r) {
    reporter() = std::move(r);
}

}  // namespace qev
