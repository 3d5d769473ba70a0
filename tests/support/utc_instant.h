#pragma once
// An instant of UTC as seconds since the epoch, for tests that choose the time.

#include <QDateTime>

namespace qev::test {

inline qint64 utcAt(int year, int month, int day, int hour = 0, int minute = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC).toSecsSinceEpoch();
}

}  // namespace qev::test
