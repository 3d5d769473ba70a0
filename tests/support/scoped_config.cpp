#include "scoped_config.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace qev::test {

ScopedConfig::ScopedConfig(const QString& below)
    : path_(below.isEmpty() ? dir_.path() : dir_.filePath(below)) {
    if (!dir_.isValid() || (!QDir().mkpath(portsFolder()) && below.isEmpty()))
        throw std::runtime_error("cannot make a configuration folder");
    for (Saved& saved : saved_) {
        saved.value = qgetenv(saved.name);
        saved.had = qEnvironmentVariableIsSet(saved.name);
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(path_));
    qputenv("XDG_STATE_HOME", QFile::encodeName(stateFolder()));
}

ScopedConfig::~ScopedConfig() {
    for (const Saved& saved : saved_) {
        if (saved.had)
            qputenv(saved.name, saved.value);
        else
            qunsetenv(saved.name);
    }
}

QString ScopedConfig::linkPath(int n) const {
    return portsFolder() + QStringLiteral("/COM%1").arg(n);
}

void ScopedConfig::link(int n, const QString& target) {
    QFile::remove(linkPath(n));
    if (!QFile::link(target, linkPath(n)))
        throw std::runtime_error("cannot create the port link");
}

void ScopedConfig::linkNoPorts() {
    for (int n = 1; n <= 50; ++n)
        link(n, QStringLiteral("/nonexistent/tty"));
}

}  // namespace qev::test
