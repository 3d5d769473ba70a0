#pragma once
// Where QEV keeps what it keeps per user: its settings file, its ports folder, the lock of its
// window. $XDG_CONFIG_HOME/QEV (~/.config/QEV when that is unset or not an absolute path, as
// the XDG rules want it); on Windows %LOCALAPPDATA%\QEV.

#include <QString>

namespace qev {

QString configFolder();

// Where QEV keeps what it has done rather than what the user chose (what it last sent to each
// port): $XDG_STATE_HOME/QEV (~/.local/state/QEV by the same rules); on Windows
// %LOCALAPPDATA%\QEV\state.
QString stateFolder();

}  // namespace qev
