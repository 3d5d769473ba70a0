#pragma once
// An edit mask taken apart: its positions with their classes, the save flag, the blank character
// and the right-alignment directive, plus the conversions between edit text and field text.

#include <QChar>
#include <QString>

#include <vector>

namespace qev {

enum class PositionKind { Literal, Required, Optional };
enum class CaseConversion { None, Upper, Lower };

struct MaskPosition {
    PositionKind kind = PositionKind::Literal;
    QChar maskChar;  // '0', '9', '#', 'L', 'l', 'A', 'a', 'C', 'c'; for literals the shown char
    CaseConversion conversion = CaseConversion::None;

    bool isData() const { return kind != PositionKind::Literal; }
};

class ParsedMask {
public:
    ParsedMask() = default;  // no mask: an ordinary field
    // "/" and ":" in the body show as the given separators.
    ParsedMask(const QString& mask, QChar timeSeparator, QChar dateSeparator);

    const QString& source() const { return source_; }
    bool isSet() const { return !source_.isEmpty(); }
    int size() const { return int(positions_.size()); }
    const MaskPosition& at(int pos) const { return positions_[size_t(pos)]; }
    bool isData(int pos) const { return pos >= 0 && pos < size() && at(pos).isData(); }

    QChar blank() const { return blank_; }
    bool keepsLiterals() const { return keepLiterals_; }
    bool rightAligned() const { return rightAligned_; }

    // Whether the data position takes c, and c as it is stored there (case directives applied).
    bool accepts(int pos, QChar c) const;
    QChar converted(int pos, QChar c) const;

    int nextData(int from) const;      // first data position >= from, else size()
    int prevData(int before) const;    // last data position < before, else -1
    int nextLiteral(int after) const;  // first literal position > after, else -1

    QString emptyEditText() const;  // every data position blank
    // Field text of an edit text (blanks as spaces, literals kept or dropped by the save flag).
    QString textFromEdit(const QString& editText) const;
    // Edit text for an assigned field text; no character is checked against its position.
    QString editFromText(const QString& text) const;
    // First required position that is not filled, or -1.
    int firstUnfilled(const QString& editText) const;

private:
    QString fitSubField(const QString& part, int length) const;

    QString source_;
    std::vector<MaskPosition> positions_;
    QChar blank_ = u'_';
    bool keepLiterals_ = true;
    bool rightAligned_ = false;
};

}  // namespace qev
