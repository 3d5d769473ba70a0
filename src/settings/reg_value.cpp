#include "settings/reg_value.h"

#include "protocol/int_conversion.h"

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

}  // namespace

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
            // Text reads as the zone fields do, in 64 bits; the low 32 bits are the value.
            const std::optional<qint64> number = TryStrToInt64(text);
            if (!number) {
                return defaultValue;
            }
            return static_cast<qint32>(static_cast<quint32>(static_cast<quint64>(*number)));
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
