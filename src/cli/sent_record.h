#pragma once
// What QEV last sent to each port, kept in the user's state folder, so that send-zones
// --if-changed sends only a configuration that differs. A record is written only after its
// message left whole; a missing or unreadable one reads as nothing sent.

#include <QByteArray>
#include <QString>

#include <optional>

namespace qev {

struct SentRecord {
    QByteArray message;
    qint64 sentAt = 0;  // seconds since the epoch, UTC
};

QString sentRecordPath(quint16 port);
std::optional<SentRecord> readSentRecord(quint16 port);
// The reason it could not be written, or an empty string.
QString writeSentRecord(quint16 port, const SentRecord& record);

}  // namespace qev
