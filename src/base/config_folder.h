#pragma once
// Where QEV keeps what it keeps per user: its settings file, its ports folder, the lock of its
// window. $XDG_CONFIG_HOME/QEV (~/.config/QEV when that is unset or not an absolute path, as
// the XDG rules want it); on Windows %LOCALAPPDATA%\QEV.

#include <QString>

namespace qev {

QString configFolder();

}  // namespace qev
