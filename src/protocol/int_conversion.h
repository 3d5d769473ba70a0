#pragma once
// The integer conversion used on every numeric field of a zone line, and on stored text.

#include <QString>
#include <QStringView>

#include <optional>

namespace qev {

// Reads a signed 32-bit integer: leading blanks, an optional sign, then decimal digits, or a
// hexadecimal prefix ("$", "x", "X", "0x", "0X") and up to eight significant hex digits, up to the
// end of the text. Anything else throws EConvertError "''<text>'' is not a valid integer value".
qint32 StrToInt(const QString& text);

// The same reading for 64 bits (up to sixteen significant hex digits); no value where the text
// does not read.
std::optional<qint64> TryStrToInt64(QStringView text);

}  // namespace qev
