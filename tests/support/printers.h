#pragma once
// Readable failure output for Qt's strings: gtest finds these by the types' own namespace, and a
// failure's message takes a QString as it is (EXPECT_...(...) << text).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << "{\"" << list.join(QStringLiteral("\", \"")).toStdString() << "\"}";
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << bytes.toHex(' ').toStdString();
}
inline std::ostream& operator<<(std::ostream& os, const QString& text) {
    return os << text.toStdString();
}
