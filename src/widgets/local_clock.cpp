#include "widgets/local_clock.h"

#include <utility>

namespace qev {

namespace {

LocalClock& installed() {
    static LocalClock clock;
    return clock;
}

}  // namespace

QDateTime localNow() {
    return installed() ? installed()() : QDateTime::currentDateTime();
}

void setLocalClock(LocalClock clock) {
    installed() = std::move(clock);
}

}  // namespace qev
