#pragma once
// The two messages the clock device understands, built whole before anything is written.

#include "base/exception.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace qev {

inline constexpr int kTimeSetMessageSize = 14;
inline constexpr int kZoneConfigMessageSize = 82;

// A zone field whose value is no byte (a negative number, or above 255): such a line came from a
// hand-edited store or an editor with no rule chosen, and sending it would corrupt the record.
class EZoneValueError : public Exception {
public:
    using Exception::Exception;
};

// 0x02, hh, mm, ss (the time text's characters 1-2, 4-5, 7-8 as they stand), the date as
// "mmddyy", 0x03. Only the whole days of dateValue count.
QByteArray buildTimeSetMessage(double dateValue, const QString& timeText);

// 0xEE, five bytes per zone for the first sixteen lines (sign, hours, minutes, rule, 24-hour
// flag), 0xFA. Throws EConvertError for a bad field, EZoneValueError for a value that is no
// byte, and EStringListError "List index out of bounds (n)" when line n is missing.
QByteArray buildZoneConfigMessage(const QStringList& lines);

// The five bytes of zone k from its line, with the errors above.
QByteArray zoneRecord(int k, const QString& line);

}  // namespace qev
