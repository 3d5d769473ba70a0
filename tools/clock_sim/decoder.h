#pragma once
// Reads the byte stream a clock device receives and turns it into plain-word reports: one per
// well-formed message, one per run of bytes that is not a well-formed message.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace qev::clocksim {

struct Report {
    enum class Kind { TimeSet, ZoneConfig, Malformed };
    Kind kind;
    QByteArray bytes;    // exactly the bytes this report covers
    QStringList lines;   // the decoding in plain words, first line a heading
    QStringList issues;  // values a device would not expect (the frame itself was sound)
};

// Messages are framed by fixed start and end bytes and a fixed length: 02 .. 03 (14 bytes) and
// EE .. FA (82 bytes). Anything else, a frame with the wrong end byte, or a frame cut short by a
// pause in the stream is reported as malformed.
class Decoder {
public:
    static constexpr int kTimeSetLength = 14;
    static constexpr int kZoneConfigLength = 82;

    // Feeds received bytes; returns the reports that these bytes complete.
    std::vector<Report> feed(const QByteArray& bytes);
    // The line went quiet: whatever is pending cannot become a message any more.
    std::vector<Report> flush();
    bool hasPending() const { return !pending_.isEmpty() || !stray_.isEmpty(); }

    static Report decodeTimeSet(const QByteArray& frame);
    static Report decodeZoneConfig(const QByteArray& frame);

private:
    void scan(std::vector<Report>& out);
    void emitStray(std::vector<Report>& out);

    QByteArray pending_;  // an incomplete frame, starting with its start byte
    QByteArray stray_;    // bytes that belong to no frame, reported together
};

QString hexBytes(const QByteArray& bytes);

// The device's view of a zone configuration frame at an instant: each zone's offset from UTC
// (its record's offset, plus an hour while the US rule it names is in force) and the local time
// it shows then, in its own 12- or 24-hour mode.
struct ShownZone {
    int offset = 0;  // seconds east of UTC
    QString time;    // "14:05:00" or " 2:05:00 PM"
};
std::vector<ShownZone> shownZones(const QByteArray& frame, qint64 atUtc);
// "  zone 01 shows 14:05:00 (UTC+01:00)", one line per zone.
QStringList shownZoneLines(const QByteArray& frame, qint64 atUtc);

}  // namespace qev::clocksim
