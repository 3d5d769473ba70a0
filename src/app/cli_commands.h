#pragma once
// Runs a command of the command line: no window and no display, the settings file only read.

#include "app/clock_sync.h"
#include "app/command_line.h"

#include <QStringList>

#include <functional>
#include <optional>

class QTextStream;

namespace qev {

class TSettingsStore;

struct CommandContext {
    QTextStream& out;
    QTextStream& err;
    std::function<ClockSync()> clockSync = systemClockSync;
    QString settingsFile;  // empty: the settings file the window uses
};

// The exit status: 0 when sent, 1 when not (the reason written to err), 2 for bad usage.
int runCommand(const Command& command, CommandContext& context);

// The whole command line: parses it (the program's name first) and runs it on stdout/stderr.
int runCommandLine(const QStringList& arguments);

// The window's stored port choice, -1..7 as the window would restore it; nothing when none is
// stored. Raises the store's errors.
std::optional<int> storedPortIndex(TSettingsStore& store);
// The window's stored zone lines, or the default lines when none are stored. Raises the store's
// errors, and an EStoreError when the stored list cannot be used.
QStringList storedZoneLines(TSettingsStore& store);
// The zone message of stored lines; a line that cannot be sent raises an EStoreError naming it
// by its place in the list and where it is stored.
QByteArray storedZoneMessage(const QStringList& lines, const QString& storedIn);

// The device port n leads to, for messages: the link's target when it has one.
QString portDevice(quint16 port);

}  // namespace qev
