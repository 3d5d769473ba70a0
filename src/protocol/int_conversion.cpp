#include "protocol/int_conversion.h"

#include "base/exception.h"

namespace qev {
namespace {

int hexDigit(QChar c) {
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

// Reads a signed integer of the given width; hexadecimal text may spell any bit pattern of
// that width, so "$FFFFFFFF" reads as -1 in 32 bits.
template <int Bits>
std::optional<qint64> readInteger(QStringView text) {
    static_assert(Bits == 32 || Bits == 64);
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text[i] == u' ') {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i == n) {
        return std::nullopt;  // empty, blanks or a sign only, or a prefix with no digits
    }

    quint64 value = 0;
    if (hex) {
        int significant = 0;
        for (; i < n; ++i) {
            const int d = hexDigit(text[i]);
            if (d < 0 || ((significant > 0 || d != 0) && ++significant > Bits / 4)) {
                return std::nullopt;
            }
            value = (value << 4) | quint64(d);
        }
        if (negative) {
            value = 0 - value;
        }
        return Bits == 32 ? qint64(qint32(quint32(value))) : qint64(value);
    }

    const quint64 limit = (quint64(1) << (Bits - 1)) - (negative ? 0 : 1);
    for (; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < '0' || u > '9' || value > (limit - (u - '0')) / 10) {
            return std::nullopt;
        }
        value = value * 10 + (u - '0');
    }
    return qint64(negative ? 0 - value : value);
}

}  // namespace

qint32 StrToInt(const QString& text) {
    const std::optional<qint64> value = readInteger<32>(text);
    if (!value) {
        throw EConvertError(QStringLiteral("''%1'' is not a valid integer value").arg(text));
    }
    return qint32(*value);
}

std::optional<qint64> TryStrToInt64(QStringView text) {
    return readInteger<64>(text);
}

}  // namespace qev
