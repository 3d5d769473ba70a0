#include "protocol/int_conversion.h"

#include "protocol/exception.h"

namespace qev {
namespace {

[[noreturn]] void fail(const QString& text) {
    throw EConvertError(QStringLiteral("''%1'' is not a valid integer value").arg(text));
}

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

}  // namespace

qint32 StrToInt(const QString& text) {
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
        fail(text);  // empty, blanks or a sign only, or a prefix with no digits
    }

    if (hex) {
        quint32 value = 0;
        int significant = 0;
        for (; i < n; ++i) {
            const int d = hexDigit(text[i]);
            if (d < 0) {
                fail(text);
            }
            if (significant > 0 || d != 0) {
                if (++significant > 8) {
                    fail(text);
                }
            }
            value = (value << 4) | quint32(d);
        }
        // Eight hex digits cover the full 32-bit pattern: $FFFFFFFF reads as -1.
        return qint32(negative ? 0u - value : value);
    }

    const qint64 limit = negative ? qint64(1) << 31 : (qint64(1) << 31) - 1;
    qint64 value = 0;
    for (; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < '0' || u > '9') {
            fail(text);
        }
        value = value * 10 + (u - '0');
        if (value > limit) {
            fail(text);
        }
    }
    return qint32(negative ? -value : value);
}

}  // namespace qev
