#include "settings/reg_value.h"

#include <QtEndian>

namespace qev {

RegValue RegValue::fromInteger(qint32 value) {
    QByteArray data(4, '\0');
    qToLittleEndian<quint32>(static_cast<quint32>(value), data.data());
    return {RegDword, data};
}

RegValue RegValue::fromString(const QString& text) {
    QByteArray data((text.size() + 1) * 2, '\0');
    for (qsizetype i = 0; i < text.size(); ++i) {
        qToLittleEndian<quint16>(text.at(i).unicode(), data.data() + i * 2);
    }
    return {RegSz, data};
}

namespace {

QString utf16Text(const QByteArray& data) {
    QString text;
    const qsizetype chars = data.size() / 2;
    text.reserve(chars);
    for (qsizetype i = 0; i < chars; ++i) {
        text.append(QChar(qFromLittleEndian<quint16>(data.constData() + i * 2)));
    }
    return text;
}

int digitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'a' && u <= 'f') {
        return u - 'a' + 10;
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    return -1;
}

}  // namespace

bool parseInt64(QStringView text, qint64& out) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace()) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text.at(i) == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text.at(i) == u'0' &&
               (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) {
        return false;
    }
    // Decimal text must fit a signed 64-bit number; hexadecimal text may spell any 64-bit
    // pattern, so "$FFFFFFFFFFFFFFFF" is -1 as the registry's own tools read it.
    const quint64 limit = base == 16 ? ~quint64(0)
                          : negative ? quint64(1) << 63
                                     : (quint64(1) << 63) - 1;
    quint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const int d = digitValue(text.at(i));
        if (d < 0 || d >= base || magnitude > (limit - quint64(d)) / quint64(base)) {
            return false;
        }
        magnitude = magnitude * quint64(base) + quint64(d);
    }
    out = static_cast<qint64>(negative ? ~magnitude + 1 : magnitude);
    return true;
}

qint32 RegValue::toInteger(qint32 defaultValue) const {
    switch (type) {
        case RegDword:
        case RegQword:
        case RegBinary: {
            if (data.size() > 8) {
                return defaultValue;
            }
            quint64 number = 0;
            for (qsizetype i = data.size() - 1; i >= 0; --i) {
                number = (number << 8) | static_cast<quint8>(data.at(i));
            }
            return static_cast<qint32>(static_cast<quint32>(number));
        }
        case RegSz:
        case RegExpandSz: {
            QString text = utf16Text(data);
            const qsizetype nul = text.indexOf(QChar(u'\0'));
            if (nul >= 0) {
                text.truncate(nul);
            }
            qint64 number = 0;
            if (!parseInt64(text, number)) {
                return defaultValue;
            }
            return static_cast<qint32>(static_cast<quint32>(static_cast<quint64>(number)));
        }
        default:
            return defaultValue;
    }
}

QString RegValue::toText(const QString& defaultValue) const {
    if (type != RegSz && type != RegExpandSz && type != RegBinary) {
        return defaultValue;
    }
    QString text = utf16Text(data);
    text.chop(1);
    return text;
}

}  // namespace qev
