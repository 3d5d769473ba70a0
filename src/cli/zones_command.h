#pragma once
// The zones command: the sixteen zones with the time zone each follows, and the choice of it
// (--follow N ZONE, --unfollow N), the one thing the commands change in the settings.

#include <QStringList>

class QTextStream;

namespace qev {

struct Command;
struct CommandContext;
class TSettingsStore;

// The exit status: 0 when done, 1 when the settings could not be read or changed, 2 for a zone
// this computer does not know.
int runZonesCommand(const Command& command, CommandContext& context);

// The stored lines with each followed zone's line as it is at atUtc; a zone whose time zone is
// unknown here keeps its line and is told of on err as a warning. Raises the store's errors.
QStringList zoneLinesAt(TSettingsStore& store, qint64 atUtc, QTextStream& err);

}  // namespace qev
