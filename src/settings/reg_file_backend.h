#pragma once
// The settings backend of platforms without a registry: one text file in the registry editor's
// export syntax. Each write reads the file, changes it and replaces it atomically under a lock
// file beside it, so two running copies never lose each other's values and a crash at any moment
// leaves either the old or the new file whole. Only a regular file is read or replaced (a link to
// one is followed, and saved through); anything else at the path is told of once and left alone.

#include "settings/reg_document.h"
#include "settings/settings_backend.h"
#include "settings/settings_file.h"

#include <QSet>

#include <functional>
#include <vector>

class QLockFile;

namespace qev {

class RegFileBackend final : public SettingsBackend {
public:
    explicit RegFileBackend(QString filePath);

    // $XDG_CONFIG_HOME/QEV/settings.reg, by default ~/.config/QEV/settings.reg.
    static QString defaultFilePath();
    const QString& filePath() const { return filePath_; }

    // How long a write waits for another copy of the program to finish its own.
    void setLockTimeout(int milliseconds) { lockTimeoutMs_ = milliseconds; }

    bool keyExists(const QString& key) override;
    bool valueExists(const QString& key, const QString& name) override;
    qint32 readInteger(const QString& key, const QString& name, qint32 defaultValue) override;
    QString readString(const QString& key, const QString& name,
                       const QString& defaultValue) override;
    void writeInteger(const QString& key, const QString& name, qint32 value) override;
    void writeString(const QString& key, const QString& name, const QString& value) override;
    void deleteValue(const QString& key, const QString& name) override;
    // A batch replaces the file once with all its writes, instead of once per write.
    void beginBatch() override;
    void endBatch() override;
    QString displayKey(const QString& key) const override;
    QList<std::exception_ptr> takeNotices() override;
    // The next replacement of the file first keeps it whole beside it, and says so.
    bool keepBeforeReplacing(const QString& key, const QString& why) override;

private:
    enum class WriteKind { Set, Delete };
    // Refused: the path holds something that is not QEV's to read or replace; left untouched.
    enum class Outcome { Done, Failed, Refused };

    using Change = std::function<void(RegDocument&)>;
    struct Pending {
        QString key;
        QString name;
        WriteKind kind;
        Change change;
    };

    // The file's content, parsed again only when the file has changed since the last read.
    const RegDocument& load(const QString& key, const QString& name);
    // What reads see: the file, or inside a batch the file with the batch's writes.
    const RegDocument& view(const QString& key, const QString& name);
    void modify(const QString& key, const QString& name, WriteKind kind, Change change);
    [[noreturn]] void fail(const Pending& write);
    Outcome tryModify(const std::function<void(RegDocument&)>& change);
    // Failed, with the system's reason kept for the message.
    Outcome failed(const QString& reason);
    QString lockFailure(const QLockFile& lock, const QString& folder);
    static QString folderProblem(const QString& folder);
    bool setAside(const QString& problem);
    bool keepCopy(const QString& copy, const QByteArray& bytes);
    void refuse(const SettingsFile& file);
    bool lockUsable();
    QString asideName() const;
    void notifyOnce(const QString& text);

    struct Identity {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 modifiedNs = 0;
        friend bool operator==(const Identity&, const Identity&) = default;
    };
    static bool identify(const QString& path, Identity& out);

    QString filePath_;
    Identity cachedIdentity_;
    bool cacheValid_ = false;
    RegDocument cached_;
    const RegDocument empty_;
    int lockTimeoutMs_ = 2000;
    int batchDepth_ = 0;
    bool workingReady_ = false;
    RegDocument working_;
    std::vector<Pending> pending_;
    QSet<QString> told_;
    QList<std::exception_ptr> notices_;
    QString failure_;     // why the last replacement failed, for its message
    QString keepUnread_;  // what was not read: the next replacement keeps a copy first
};

}  // namespace qev
