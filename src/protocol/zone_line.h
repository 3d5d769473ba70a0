#pragma once
// A zone line is the one form of a display zone: shown in the list, stored, edited and parsed for
// sending. Fixed positions (counted from 1): name 1..7, sign 10, hours 11..12, separator 13,
// minutes 14..15, and from 18 a tail "<rule index>:<rule name>,<12 hr|24 hr>".

#include <QString>
#include <QStringList>

namespace qev {

inline constexpr int kZoneCount = 16;

// "Zone 03": a zone's name as its default line and the messages name it.
QString zoneName(int k);

// The DST rules the device knows; a line carries the index, the name is informational.
const QStringList& dstRuleNames();

// The sixteen lines the list starts with: "Zone 00  +00:00  0:No DST,12 hr" .. "Zone 15 ...".
QStringList defaultZoneLines();

// What a zone line contributes to the zone-configuration message.
struct ZoneRecord {
    QChar sign;  // position 10, unchanged
    qint32 hours = 0;
    qint32 minutes = 0;
    qint32 ruleIndex = 0;
    bool is24Hour = false;
};

// Reads in message order (hours first); throws EConvertError on the first bad field.
ZoneRecord readForTransmission(const QString& line);

// What the zone editor shows.
struct ZoneEdit {
    QString zoneName;    // positions 1..7
    QString offsetText;  // positions 11..15, as far as the line reaches
    bool negative = false;
    qint32 ruleIndex = 0;
    bool is24Hour = false;
};

// Throws EConvertError when the rule index does not read as an integer.
ZoneEdit readForEditing(const QString& line);

// The tail's fields, shared by both readers.
QString zoneTail(const QString& line);
qint32 tailRuleIndex(const QString& tail);
bool tailIs24Hour(const QString& tail);

// The offset as an entry field shows it: the line's hours and minutes (positions 11..12 and
// 14..15, as far as the line reaches) around the field's own separator. The line's character at
// 13 is not read, so a line keeps its ":" whatever separator the field shows.
QString offsetForField(const QString& line, QChar fieldSeparator);
// The five-character offset text of a line from a field's five characters: ":" in the middle.
QString offsetFromField(const QString& fieldText);

// The tail's rule as written: index, ":" and name, up to the first ",".
QString tailRuleText(const QString& tail);

// The whole line as the editor writes it; the gaps are always two blanks.
QString writeZoneLine(const QString& zoneName, bool negative, const QString& offsetText,
                      int ruleIndex, const QString& ruleName, bool is24Hour);
// The same with the rule given as its whole text ("<index>:<name>").
QString writeZoneLine(const QString& zoneName, bool negative, const QString& offsetText,
                      const QString& ruleText, bool is24Hour);

}  // namespace qev
