#include "widgets/parsed_mask.h"

#include <algorithm>

namespace qev {

namespace {

constexpr QChar kFieldSeparator = u';';
constexpr QChar kEscape = u'\\';

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

}  // namespace

ParsedMask::ParsedMask(const QString& mask, QChar timeSeparator, QChar dateSeparator)
    : source_(mask) {
    const int length = int(mask.size());

    // The body ends at the first unescaped ";" among the last four characters.
    int bodyEnd = length;
    bool escaped = false;
    for (int i = 0; i < length; ++i) {
        if (escaped) {
            escaped = false;
        } else if (mask[i] == kEscape) {
            escaped = true;
        } else if (mask[i] == kFieldSeparator && i >= length - 4) {
            bodyEnd = i;
            break;
        }
    }
    if (bodyEnd + 1 < length && length > 3) {
        keepLiterals_ = mask[bodyEnd + 1] != u'0';
    }
    // Both trailer fields present: the last character is the blank.
    if (bodyEnd < length - 2 && mask[length - 2] == kFieldSeparator &&
        (bodyEnd == length - 3 || bodyEnd == length - 4)) {
        blank_ = mask[length - 1];
    }

    CaseConversion conversion = CaseConversion::None;
    auto add = [&](PositionKind kind, QChar c) { positions_.push_back({kind, c, conversion}); };
    for (int i = 0; i < bodyEnd; ++i) {
        const QChar c = mask[i];
        switch (c.unicode()) {
            case u'!':
                rightAligned_ = true;
                break;
            case u'>':
                conversion = CaseConversion::Upper;
                break;
            case u'<':
                if (i + 1 < bodyEnd && mask[i + 1] == u'>') {
                    conversion = CaseConversion::None;
                    ++i;
                } else {
                    conversion = CaseConversion::Lower;
                }
                break;
            case u'\\':
                if (i + 1 < bodyEnd) {
                    ++i;
                    add(PositionKind::Literal, mask[i]);
                }
                break;
            case u'0':
            case u'L':
            case u'A':
            case u'C':
                add(PositionKind::Required, c);
                break;
            case u'9':
            case u'#':
            case u'l':
            case u'a':
            case u'c':
                add(PositionKind::Optional, c);
                break;
            case u'/':
                add(PositionKind::Literal, dateSeparator);
                break;
            case u':':
                add(PositionKind::Literal, timeSeparator);
                break;
            default:
                add(PositionKind::Literal, c);
                break;
        }
    }
}

bool ParsedMask::accepts(int pos, QChar c) const {
    if (!isData(pos) || c.category() == QChar::Other_Control) {
        return false;
    }
    switch (at(pos).maskChar.unicode()) {
        case u'0':
        case u'9':
            return isAsciiDigit(c);
        case u'#':
            return isAsciiDigit(c) || c == u' ' || c == u'+' || c == u'-';
        case u'L':
        case u'l':
            return c.isLetter();
        case u'A':
        case u'a':
            return c.isLetter() || isAsciiDigit(c);
        default:  // C, c
            return true;
    }
}

QChar ParsedMask::converted(int pos, QChar c) const {
    switch (at(pos).conversion) {
        case CaseConversion::Upper:
            return c.toUpper();
        case CaseConversion::Lower:
            return c.toLower();
        case CaseConversion::None:
            break;
    }
    return c;
}

int ParsedMask::nextData(int from) const {
    for (int i = std::max(from, 0); i < size(); ++i) {
        if (at(i).isData()) {
            return i;
        }
    }
    return size();
}

int ParsedMask::prevData(int before) const {
    for (int i = std::min(before, size()) - 1; i >= 0; --i) {
        if (at(i).isData()) {
            return i;
        }
    }
    return -1;
}

int ParsedMask::nextLiteral(int after) const {
    for (int i = std::max(after + 1, 0); i < size(); ++i) {
        if (!at(i).isData()) {
            return i;
        }
    }
    return -1;
}

QString ParsedMask::emptyEditText() const {
    QString out;
    out.reserve(size());
    for (const MaskPosition& p : positions_) {
        out += p.isData() ? blank_ : p.maskChar;
    }
    return out;
}

QString ParsedMask::textFromEdit(const QString& editText) const {
    QString data;
    for (int i = 0; i < size(); ++i) {
        if (at(i).isData()) {
            data += i < editText.size() ? editText[i] : blank_;
        }
    }
    if (rightAligned_) {
        qsizetype lead = 0;
        while (lead < data.size() && data[lead] == blank_) {
            ++lead;
        }
        data.remove(0, lead);
    } else {
        qsizetype keep = data.size();
        while (keep > 0 && data[keep - 1] == blank_) {
            --keep;
        }
        data.truncate(keep);
    }
    data.replace(blank_, u' ');
    if (!keepLiterals_) {
        return data;
    }

    QString out;
    out.reserve(size());
    if (rightAligned_) {
        qsizetype k = data.size();
        for (int i = size() - 1; i >= 0; --i) {
            if (!at(i).isData()) {
                out.prepend(at(i).maskChar);
            } else {
                out.prepend(k > 0 ? data[--k] : QChar(u' '));
            }
        }
    } else {
        qsizetype k = 0;
        for (int i = 0; i < size(); ++i) {
            if (!at(i).isData()) {
                out += at(i).maskChar;
            } else {
                out += k < data.size() ? data[k++] : QChar(u' ');
            }
        }
    }
    return out;
}

QString ParsedMask::fitSubField(const QString& part, int length) const {
    if (part.size() < length) {
        const QString fill(length - part.size(), blank_);
        return rightAligned_ ? fill + part : part + fill;
    }
    return rightAligned_ ? part.right(length) : part.left(length);
}

QString ParsedMask::editFromText(const QString& text) const {
    QString out;
    out.reserve(size());
    if (keepLiterals_) {
        // Each literal is looked for after the previous one; the text between is its sub-field.
        QString t = text;
        qsizetype from = 0;
        int fieldStart = 0;
        for (int i = 0; i < size(); ++i) {
            if (at(i).isData()) {
                continue;
            }
            const QChar literal = at(i).maskChar;
            qsizetype found = t.indexOf(literal, from);
            if (found < 0) {
                t += literal;
                found = t.size() - 1;
            }
            out += fitSubField(t.mid(from, found - from), i - fieldStart);
            out += literal;
            from = found + 1;
            fieldStart = i + 1;
        }
        out += fitSubField(t.mid(from), size() - fieldStart);
    } else if (rightAligned_) {
        qsizetype k = text.size();
        for (int i = size() - 1; i >= 0; --i) {
            if (!at(i).isData()) {
                out.prepend(at(i).maskChar);
            } else {
                out.prepend(k > 0 ? text[--k] : blank_);
            }
        }
    } else {
        qsizetype k = 0;
        for (int i = 0; i < size(); ++i) {
            if (!at(i).isData()) {
                out += at(i).maskChar;
            } else {
                out += k < text.size() ? text[k++] : blank_;
            }
        }
    }
    for (int i = 0; i < size(); ++i) {
        if (at(i).isData() && out[i] == u' ') {
            out[i] = blank_;
        }
    }
    return out;
}

int ParsedMask::firstUnfilled(const QString& editText) const {
    for (int i = 0; i < size(); ++i) {
        if (at(i).kind != PositionKind::Required) {
            continue;
        }
        const QChar c = i < editText.size() ? editText[i] : blank_;
        if (c == blank_ || (c == u' ' && at(i).maskChar != u'C')) {
            return i;
        }
    }
    return -1;
}

}  // namespace qev
