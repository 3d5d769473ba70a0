#pragma once
// One stored value as the registry holds it: a kind number and raw bytes. Keeping the raw form lets
// a value of any kind pass through the file unchanged, and the reading rules convert it on demand.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace qev {

// The registry's own numbers, so an exported file keeps its kinds.
enum RegType : quint32 {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
    RegMultiSz = 7,
    RegQword = 11,
};

struct RegValue {
    quint32 type = RegNone;
    QByteArray data;

    // A 32-bit integer, little-endian two's complement (so -1 is ff ff ff ff).
    static RegValue fromInteger(qint32 value);
    // UTF-16LE text with its terminating zero character.
    static RegValue fromString(const QString& text);

    // Integer reading: dword, qword and short binary as little-endian numbers, strings parsed as
    // 64-bit integers; the low 32 bits are the result. Anything else gives the default.
    qint32 toInteger(qint32 defaultValue) const;
    // String reading: string and binary data as UTF-16 text minus its final character (the
    // terminator of a normal value); other kinds give the default.
    QString toText(const QString& defaultValue) const;

    friend bool operator==(const RegValue&, const RegValue&) = default;
};

}  // namespace qev
