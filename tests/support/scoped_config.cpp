#include "scoped_config.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace qev::test {

ScopedConfig::ScopedConfig(const QString& below)
    : path_(below.isEmpty() ? dir_.path() : dir_.filePath(below)),
      saved_(qgetenv("XDG_CONFIG_HOME")),
      hadSaved_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
    if (!dir_.isValid() || (!QDir().mkpath(portsFolder()) && below.isEmpty()))
        throw std::runtime_error("cannot make a configuration folder");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(path_));
}

ScopedConfig::~ScopedConfig() {
    if (hadSaved_)
        qputenv("XDG_CONFIG_HOME", saved_);
    else
        qunsetenv("XDG_CONFIG_HOME");
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
