#pragma once
// A private configuration folder: XDG_CONFIG_HOME points at a new temporary folder while the
// object lives, and back where it was after. QEV's settings file and ports folder are in it, and
// XDG_STATE_HOME points at its "state" folder, where QEV keeps what it last sent.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace qev::test {

class ScopedConfig {
public:
    // below: a path inside the new folder to point at instead (made when it can be).
    explicit ScopedConfig(const QString& below = {});
    ~ScopedConfig();
    ScopedConfig(const ScopedConfig&) = delete;
    ScopedConfig& operator=(const ScopedConfig&) = delete;

    QString path() const { return path_; }
    QString filePath(const QString& relative) const { return path_ + u'/' + relative; }
    QString portsFolder() const { return filePath(QStringLiteral("QEV/ports")); }
    QString settingsFile() const { return filePath(QStringLiteral("QEV/settings.reg")); }
    QString stateFolder() const { return filePath(QStringLiteral("state")); }

    // Makes COM<n> in the ports folder a link to target, replacing one that is there.
    void link(int n, const QString& target);
    // Links COM1..COM50 to nothing, so that no port of this machine is present; link() then
    // makes the ones a test wants.
    void linkNoPorts();
    QString linkPath(int n) const;

private:
    QTemporaryDir dir_;
    QString path_;
    struct Saved {
        const char* name;
        QByteArray value;
        bool had = false;
    };
    Saved saved_[2] = {{"XDG_CONFIG_HOME", {}}, {"XDG_STATE_HOME", {}}};
};

}  // namespace qev::test
