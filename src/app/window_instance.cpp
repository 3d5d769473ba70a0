#include "app/window_instance.h"

#include <QStandardPaths>

namespace qev {

QString WindowLock::path() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/QEV/window.lock");
}

}  // namespace qev
