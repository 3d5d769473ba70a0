#pragma once
// The parts of the command line's texts that differ by platform.

#include <QString>

namespace qev {

// The help's lines for ports --link and --unlink; empty where the system numbers the ports.
QString linkCommandsHelp();
// The help's last lines: where the window's choices are read, and what port n is.
QString placesHelp();

}  // namespace qev
