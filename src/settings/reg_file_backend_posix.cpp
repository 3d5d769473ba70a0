#include "settings/reg_file_backend.h"

#include "base/config_folder.h"
#include "base/file_kind.h"
#include "settings/reg_parser.h"
#include "settings/settings_errors.h"
#include "settings/settings_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <sys/stat.h>

#include <cerrno>
#include <cmath>

namespace qev {

namespace {

// A save holds the lock for milliseconds. A lock file older than this was left by a copy that
// ended while making it (killed before it could write whose it is), and is taken over.
constexpr int kStaleLockMs = 1000;

}  // namespace

namespace {

const QString kHive = QStringLiteral("HKEY_CURRENT_USER");
constexpr qint64 kProbeBytes = 4096;  // more than a lock file, less than most settings files

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

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace

RegFileBackend::RegFileBackend(QString filePath) : filePath_(std::move(filePath)) {}

QString RegFileBackend::defaultFilePath() {
    return configFolder() + QStringLiteral("/settings.reg");
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
    QFile file(filePath_);
    if (!file.rename(aside)) {
        failure_ = file.errorString();
        return false;
    }
    notifyOnce(
        QStringLiteral("The settings file \"%1\" could not be read (%2). It has been kept as "
                       "\"%3\", and QEV starts from its default settings")
            .arg(native(filePath_), problem, native(aside)));
    return true;
}

// A file that is not one QEV can have written is left exactly as it is: nothing is read from it,
// nothing is saved over it, and nothing is put beside it.
void RegFileBackend::refuse(const SettingsFile& file) {
    if (file.status == SettingsFile::TooLarge) {
        notifyOnce(QStringLiteral("The settings file \"%1\" is too large to be read (%2 MiB, more "
                                  "than %3 MiB). It is left untouched: QEV starts from its default "
                                  "settings and will not save over it; move it out of the way to "
                                  "keep your settings")
                       .arg(native(filePath_))
                       // Rounded up, so that a size just over the limit does not read as it.
                       .arg(std::ceil(double(file.size) * 10 / (1024 * 1024)) / 10, 0, 'f', 1)
                       .arg(kMaxSettingsFileBytes / (1024 * 1024)));
        return;
    }
    notifyOnce(QStringLiteral("The settings file \"%1\" is not a regular file (it is %2). QEV "
                              "starts from its default settings and will not save over it; "
                              "remove it, or put a regular file in its place, to keep your "
                              "settings")
                   .arg(native(filePath_), file.kind));
}

// QLockFile reads a lock file it finds; a pipe put there would hold it forever.
bool RegFileBackend::lockUsable() {
    const QString lockPath = filePath_ + QStringLiteral(".lock");
    if (isNothingOrPlainFile(lockPath)) {
        return true;
    }
    notifyOnce(QStringLiteral("QEV cannot save its settings: the lock file \"%1\" beside the "
                              "settings file is not a regular file (it is %2). Remove it, and QEV "
                              "saves again")
                   .arg(native(lockPath), fileKindText(lockPath)));
    return false;
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
    bool identified = identify(filePath_, identity);
    if (identified && cacheValid_ && identity == cachedIdentity_) {
        return cached_;
    }
    cacheValid_ = false;
    SettingsFile file = readSettingsFile(filePath_, kMaxSettingsFileBytes);
    switch (file.status) {
        case SettingsFile::Missing:
            return empty_;
        case SettingsFile::Failed:
            throw store_messages::readFailure(filePath_, key, name, qt_error_string(file.error));
        case SettingsFile::NotRegular:
        case SettingsFile::TooLarge:
            refuse(file);
            return empty_;
        case SettingsFile::Regular:
            break;
    }
    RegParseResult parsed = parseRegFile(file.bytes);
    if (!parsed.readable) {
        // Set it aside now rather than at the next save, so the user hears of it at start.
        // Under the lock, and only if it is still bad: another copy may have just replaced it.
        // If that fails, the next write tries again and refuses to overwrite it.
        if (!lockUsable()) {
            return empty_;
        }
        QLockFile lock(filePath_ + QStringLiteral(".lock"));
        lock.setStaleLockTime(kStaleLockMs);
        if (!lock.tryLock(lockTimeoutMs_)) {
            return empty_;
        }
        identified = identify(filePath_, identity);
        file = readSettingsFile(filePath_, kMaxSettingsFileBytes);
        if (file.status != SettingsFile::Regular) {
            return empty_;  // changed meanwhile: the next call sees what it is now
        }
        parsed = parseRegFile(file.bytes);
        if (!parsed.readable) {
            setAside(parsed.problem);
            return empty_;
        }
    }
    // The identity taken before reading: a change during the read shows at the next call.
    cached_ = std::move(parsed.document);
    cachedIdentity_ = identity;
    cacheValid_ = identified;
    return cached_;
}

RegFileBackend::Outcome RegFileBackend::tryModify(const std::function<void(RegDocument&)>& change) {
    failure_.clear();
    // Refused before the lock is taken, so that nothing is put beside a refused path either.
    const SettingsFile look = inspectSettingsFile(filePath_, kMaxSettingsFileBytes);
    if (look.status == SettingsFile::NotRegular || look.status == SettingsFile::TooLarge) {
        refuse(look);
        return Outcome::Refused;
    }
    const QString folder = QFileInfo(filePath_).absolutePath();
    errno = 0;
    if (!QDir().mkpath(folder)) {
        const int error = errno;
        if (error == EEXIST) {
            return failed(QStringLiteral("\"%1\" is %2, not a folder")
                              .arg(native(folder), fileKindText(folder)));
        }
        return failed(error != 0 ? qt_error_string(error)
                                 : QStringLiteral("its folder cannot be made"));
    }
    if (!lockUsable()) {
        return failed(QStringLiteral("the lock file beside it is not a regular file"));
    }
    QLockFile lock(filePath_ + QStringLiteral(".lock"));
    lock.setStaleLockTime(kStaleLockMs);
    if (!lock.tryLock(lockTimeoutMs_)) {
        return failed(lockFailure(lock, folder));
    }
    RegDocument document;
    const SettingsFile in = readSettingsFile(filePath_, kMaxSettingsFileBytes);
    switch (in.status) {
        case SettingsFile::Missing:
            keepUnread_.clear();  // gone: nothing left to keep
            break;
        case SettingsFile::Failed:
            // An unreadable file must not be replaced by one without its values.
            return failed(qt_error_string(in.error));
        case SettingsFile::NotRegular:
        case SettingsFile::TooLarge:
            refuse(in);
            return Outcome::Refused;
        case SettingsFile::Regular: {
            RegParseResult parsed = parseRegFile(in.bytes);
            if (!parsed.readable) {
                if (!setAside(parsed.problem)) {
                    return Outcome::Failed;
                }
                keepUnread_.clear();  // kept whole already
                break;
            }
            if (!keepUnread_.isEmpty()) {
                // Something in it was not read, and this save replaces it: keep it as it was.
                const QString copy = asideName();
                if (!keepCopy(copy, in.bytes)) {
                    return Outcome::Failed;
                }
                notifyOnce(QStringLiteral("The settings file \"%1\" held a list QEV did not read "
                                          "(%2). The file as it was has been kept as \"%3\" "
                                          "before QEV saved over it")
                               .arg(native(filePath_), keepUnread_, native(copy)));
                keepUnread_.clear();
            } else if (!parsed.issues.isEmpty()) {
                // The rewrite leaves out the lines that could not be read: keep the file as it
                // was, so that nothing a person wrote there is lost without a trace.
                const QString copy = asideName();
                if (!keepCopy(copy, in.bytes)) {
                    return Outcome::Failed;
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
                        .arg(native(filePath_), where, native(copy)));
            }
            document = std::move(parsed.document);
            break;
        }
    }
    change(document);
    QSaveFile out(filePath_);
    if (!out.open(QIODevice::WriteOnly)) {
        return failed(out.errorString());
    }
    const QByteArray bytes = document.serialize();
    // Flushed and checked here: QSaveFile's commit puts a file whose last write failed (a full
    // disk) in place of the old one, empty or cut short, and reports success.
    if (out.write(bytes) != bytes.size() || !out.flush() || out.error() != QFileDevice::NoError) {
        const QString own = out.errorString();
        out.cancelWriting();
        const QString problem = folderProblem(folder);
        return failed(problem.isEmpty() ? own : problem);
    }
    return out.commit() ? Outcome::Done : failed(out.errorString());
}

RegFileBackend::Outcome RegFileBackend::failed(const QString& reason) {
    failure_ = reason;
    return Outcome::Failed;
}

// Why a file cannot be written in the folder (a full or read-only disk, a folder that may not be
// written, a size limit), found by writing one of our own there; empty when that works. Qt does
// not always keep the system's reason for a failed write (a short write has none).
QString RegFileBackend::folderProblem(const QString& folder) {
    QTemporaryFile probe(folder + QStringLiteral("/.qev-probe-XXXXXX"));
    if (!probe.open()) {
        return probe.errorString();
    }
    if (probe.write(QByteArray(kProbeBytes, '\n')) != kProbeBytes || !probe.flush()) {
        return qt_error_string(errno);
    }
    return {};
}

QString RegFileBackend::lockFailure(const QLockFile& lock, const QString& folder) {
    if (lock.error() == QLockFile::LockFailedError) {
        return QStringLiteral("another copy of QEV kept its lock file for more than %1 s")
            .arg(lockTimeoutMs_ / 1000.0);
    }
    const QString problem = folderProblem(folder);
    return problem.isEmpty() ? QStringLiteral("its lock file cannot be made") : problem;
}

// The bytes as read, rather than a second open of a name that may have changed since.
bool RegFileBackend::keepCopy(const QString& copy, const QByteArray& bytes) {
    QFile out(copy);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        failure_ = out.errorString();
        return false;
    }
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        failure_ = out.errorString();
        out.remove();
        return false;
    }
    return true;
}

bool RegFileBackend::keepBeforeReplacing(const QString&, const QString& why) {
    keepUnread_ = why;
    return true;
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
    // The registry's words for the step that could not be done, then in plain words the file
    // and the system's reason.
    const QString reason = std::exchange(failure_, {});
    const auto withReason = [this, &reason](const QString& text) {
        EStoreError error(text);
        error.setDetail(store_messages::notSaved(native(filePath_), reason));
        return error;
    };
    bool keyExisted = false;
    try {
        keyExisted = load(write.key, write.name).keyExists(fileKey(write.key));
    } catch (const EStoreError&) {
        keyExisted = true;  // it is there, only not readable
    }
    if (write.kind == WriteKind::Delete) {
        throw withReason(keyExisted ? store_messages::accessValue(filePath_, write.key, write.name)
                                    : store_messages::openForWrite(filePath_, write.key));
    }
    throw withReason(keyExisted ? store_messages::openForWrite(filePath_, write.key)
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
    // A refused file has been told of; it is left as it is, and that is no failure.
    if (tryModify(write.change) == Outcome::Failed) {
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
    const Outcome outcome = tryModify([&](RegDocument& document) {
        for (const Pending& write : writes) {
            write.change(document);
        }
    });
    if (outcome == Outcome::Failed) {
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
