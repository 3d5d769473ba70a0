#include "settings/reg_file_backend.h"

#include "settings/settings_errors.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <sys/stat.h>

namespace qev {

namespace {

const QString kHive = QStringLiteral("HKEY_CURRENT_USER");

QString fileKey(const QString& key) {
    return kHive + u'\\' + key;
}

// Names the file syntax cannot hold: a line break would split the line, and a key beginning
// with "-" would read back as a deletion.
bool storable(const QString& key, const QString& name) {
    if (key.isEmpty() || key.startsWith(u'-')) {
        return false;
    }
    for (const QString* text : {&key, &name}) {
        for (const QChar c : *text) {
            if (c == u'\r' || c == u'\n' || c == u'\0') {
                return false;
            }
        }
    }
    return true;
}

// False when the file cannot be read at all; a file too large to be ours reads as unreadable
// content without being loaded into memory.
bool readSettingsFile(QFile& file, RegParseResult& parsed) {
    if (file.size() > kMaxSettingsFileBytes) {
        parsed = {};
        parsed.readable = false;
        parsed.problem = QStringLiteral("it is larger than %1 bytes").arg(kMaxSettingsFileBytes);
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.readAll();
    const bool ok = file.error() == QFileDevice::NoError;
    file.close();
    parsed = parseRegFile(bytes);
    return ok;
}

}  // namespace

RegFileBackend::RegFileBackend(QString filePath) : filePath_(std::move(filePath)) {}

QString RegFileBackend::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/QEV/settings.reg");
}

QString RegFileBackend::displayKey(const QString& key) const {
    return filePath_ + u'\\' + key;
}

void RegFileBackend::notifyOnce(const QString& text) {
    if (told_.contains(text)) {
        return;
    }
    told_.insert(text);
    notices_.append(std::make_exception_ptr(EStoreNotice(text)));
}

QList<std::exception_ptr> RegFileBackend::takeNotices() {
    return std::exchange(notices_, {});
}

QString RegFileBackend::asideName() const {
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = QStringLiteral("%1.%2.bad").arg(filePath_, stamp);
    for (int n = 2; QFileInfo::exists(name); ++n) {
        name = QStringLiteral("%1.%2-%3.bad").arg(filePath_, stamp).arg(n);
    }
    return name;
}

// Moves a file that is not a settings file out of the way, so that it is never overwritten and
// the program can start from its defaults. The caller holds the lock.
bool RegFileBackend::setAside(const QString& problem) {
    const QString aside = asideName();
    if (!QFile::rename(filePath_, aside)) {
        return false;
    }
    notifyOnce(
        QStringLiteral("The settings file \"%1\" could not be read (%2). It has been kept as "
                       "\"%3\", and QEV starts from its default settings")
            .arg(QDir::toNativeSeparators(filePath_), problem, QDir::toNativeSeparators(aside)));
    return true;
}

// A replacement by QSaveFile always brings a new inode; an edit in place changes size or time.
bool RegFileBackend::identify(const QString& path, Identity& out) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return false;
    }
    out = {static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino),
           static_cast<qint64>(info.st_size),
           static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    return true;
}

const RegDocument& RegFileBackend::load(const QString& key, const QString& name) {
    Identity identity;
    if (!identify(filePath_, identity)) {
        cacheValid_ = false;
        return empty_;
    }
    if (cacheValid_ && identity == cachedIdentity_) {
        return cached_;
    }
    cacheValid_ = false;
    QFile file(filePath_);
    RegParseResult parsed;
    if (!readSettingsFile(file, parsed)) {
        throw EStoreError(store_messages::openForRead(filePath_, key, name));
    }
    if (!parsed.readable) {
        // Set it aside now rather than at the next save, so the user hears of it at start.
        // Under the lock, and only if it is still bad: another copy may have just replaced it.
        // If that fails, the next write tries again and refuses to overwrite it.
        QLockFile lock(filePath_ + QStringLiteral(".lock"));
        QFile again(filePath_);
        if (!lock.tryLock(lockTimeoutMs_) || !identify(filePath_, identity) ||
            !readSettingsFile(again, parsed)) {
            return empty_;
        }
        if (!parsed.readable) {
            setAside(parsed.problem);
            return empty_;
        }
    }
    // The identity taken before reading: a change during the read shows at the next call.
    cached_ = std::move(parsed.document);
    cachedIdentity_ = identity;
    cacheValid_ = true;
    return cached_;
}

bool RegFileBackend::tryModify(const std::function<void(RegDocument&)>& change) {
    if (!QDir().mkpath(QFileInfo(filePath_).absolutePath())) {
        return false;
    }
    QLockFile lock(filePath_ + QStringLiteral(".lock"));
    if (!lock.tryLock(lockTimeoutMs_)) {
        return false;
    }
    RegDocument document;
    QFile in(filePath_);
    if (in.exists()) {
        RegParseResult parsed;
        if (!readSettingsFile(in, parsed)) {
            return false;  // an unreadable file must not be replaced by one without its values
        }
        if (!parsed.readable) {
            if (!setAside(parsed.problem)) {
                return false;
            }
        } else {
            if (!parsed.issues.isEmpty()) {
                // The rewrite leaves out the lines that could not be read: keep the file as it
                // was, so that nothing a person wrote there is lost without a trace.
                const QString copy = asideName();
                if (!QFile::copy(filePath_, copy)) {
                    return false;
                }
                const RegParseIssue& first = parsed.issues.first();
                const QString where =
                    first.line > 0
                        ? QStringLiteral("first at line %1: %2").arg(first.line).arg(first.reason)
                        : first.reason;
                notifyOnce(
                    QStringLiteral("Some lines of the settings file \"%1\" could not be read "
                                   "(%2) and are left out when QEV saves. The file as it "
                                   "was has been kept as \"%3\"")
                        .arg(QDir::toNativeSeparators(filePath_), where,
                             QDir::toNativeSeparators(copy)));
            }
            document = std::move(parsed.document);
        }
    }
    change(document);
    QSaveFile out(filePath_);
    if (!out.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray bytes = document.serialize();
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

const RegDocument& RegFileBackend::view(const QString& key, const QString& name) {
    if (batchDepth_ == 0) {
        return load(key, name);
    }
    if (!workingReady_) {
        working_ = load(key, name);
        workingReady_ = true;
    }
    return working_;
}

void RegFileBackend::fail(const Pending& write) {
    // Pick the message the registry would give for the step that could not be done.
    bool keyExisted = false;
    try {
        keyExisted = load(write.key, write.name).keyExists(fileKey(write.key));
    } catch (const EStoreError&) {
        keyExisted = true;  // it is there, only not readable
    }
    if (write.kind == WriteKind::Delete) {
        throw EStoreError(keyExisted ? store_messages::accessValue(filePath_, write.key, write.name)
                                     : store_messages::openForWrite(filePath_, write.key));
    }
    throw EStoreError(keyExisted ? store_messages::openForWrite(filePath_, write.key)
                                 : store_messages::createKey(filePath_, write.key));
}

void RegFileBackend::modify(const QString& key, const QString& name, WriteKind kind,
                            Change change) {
    Pending write{key, name, kind, std::move(change)};
    if (!storable(key, name)) {
        fail(write);
    }
    if (batchDepth_ > 0) {
        view(key, name);
        write.change(working_);
        pending_.push_back(std::move(write));
        return;
    }
    if (!tryModify(write.change)) {
        fail(write);
    }
}

void RegFileBackend::beginBatch() {
    ++batchDepth_;
}

void RegFileBackend::endBatch() {
    if (batchDepth_ == 0 || --batchDepth_ > 0) {
        return;
    }
    workingReady_ = false;
    working_ = {};
    const std::vector<Pending> writes = std::exchange(pending_, {});
    if (writes.empty()) {
        return;
    }
    // Applied to the file as it is now, under the lock: another copy's values in between stay.
    const bool done = tryModify([&](RegDocument& document) {
        for (const Pending& write : writes) {
            write.change(document);
        }
    });
    if (!done) {
        fail(writes.front());
    }
}

bool RegFileBackend::keyExists(const QString& key) {
    return view(key, QString()).keyExists(fileKey(key));
}

bool RegFileBackend::valueExists(const QString& key, const QString& name) {
    return view(key, name).value(fileKey(key), name) != nullptr;
}

qint32 RegFileBackend::readInteger(const QString& key, const QString& name, qint32 defaultValue) {
    const RegDocument& document = view(key, name);
    const RegValue* value = document.value(fileKey(key), name);
    return value == nullptr ? defaultValue : value->toInteger(defaultValue);
}

QString RegFileBackend::readString(const QString& key, const QString& name,
                                   const QString& defaultValue) {
    const RegDocument& document = view(key, name);
    const RegValue* value = document.value(fileKey(key), name);
    return value == nullptr ? defaultValue : value->toText(defaultValue);
}

void RegFileBackend::writeInteger(const QString& key, const QString& name, qint32 value) {
    modify(key, name, WriteKind::Set, [key, name, value](RegDocument& document) {
        document.setValue(fileKey(key), name, RegValue::fromInteger(value));
    });
}

void RegFileBackend::writeString(const QString& key, const QString& name, const QString& value) {
    modify(key, name, WriteKind::Set, [key, name, value](RegDocument& document) {
        document.setValue(fileKey(key), name, RegValue::fromString(value));
    });
}

void RegFileBackend::deleteValue(const QString& key, const QString& name) {
    modify(key, name, WriteKind::Delete,
           [key, name](RegDocument& document) { document.removeValue(fileKey(key), name); });
}

}  // namespace qev
