#include "cli/sent_record.h"

#include "base/config_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace qev {

namespace {

constexpr QLatin1StringView kHeading{"QEV zone configuration sent"};
constexpr qint64 kMaxRecordBytes = 4096;

}  // namespace

QString sentRecordPath(quint16 port) {
    return stateFolder() + QStringLiteral("/sent-zones-COM%1").arg(port);
}

std::optional<SentRecord> readSentRecord(quint16 port) {
    QFile file(sentRecordPath(port));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = file.read(kMaxRecordBytes).split('\n');
    // heading, time, message in hex, and the empty rest after the last newline
    if (lines.size() != 4 || lines.at(0) != kHeading || !lines.at(3).isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 at = lines.at(1).toLongLong(&ok);
    const QByteArray message = QByteArray::fromHex(lines.at(2));
    if (!ok || message.isEmpty() || message.toHex() != lines.at(2))
        return std::nullopt;
    return SentRecord{message, at};
}

QString writeSentRecord(quint16 port, const SentRecord& record) {
    const QString path = sentRecordPath(port);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QStringLiteral("the folder %1 cannot be made")
            .arg(QDir::toNativeSeparators(QFileInfo(path).path()));
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(kHeading.data(), kHeading.size());
        file.write("\n" + QByteArray::number(record.sentAt) + "\n" + record.message.toHex() + "\n");
        if (file.commit())
            return {};
    }
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
}

}  // namespace qev
