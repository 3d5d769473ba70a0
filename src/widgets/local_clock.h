#pragma once
// The local clock that gives the date fields their "today" and "current year". Replaceable, so
// that the two-digit-year window does not depend on the day the program runs.

#include <QDate>
#include <QDateTime>

#include <functional>

namespace qev {

using LocalClock = std::function<QDateTime()>;

QDateTime localNow();
inline QDate localToday() {
    return localNow().date();
}

// An empty function restores the system clock.
void setLocalClock(LocalClock clock);

}  // namespace qev
