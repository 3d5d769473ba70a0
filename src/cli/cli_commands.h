#pragma once
// Runs a command of the command line: no window and no display, the settings file only read.

#include "cli/clock_sync.h"
#include "cli/command_line.h"

#include <QDateTime>
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
    // The instant whose offsets the followed zones get (tests choose theirs).
    std::function<QDateTime()> now = &QDateTime::currentDateTimeUtc;
};

// The exit status: 0 when sent, 1 when not (the reason written to err), 2 for bad usage.
int runCommand(const Command& command, CommandContext& context);

// The whole command line: parses it (the program's name first) and runs it on stdout/stderr.
int runCommandLine(const QStringList& arguments);
// main()'s first step: when the arguments ask for a command rather than the window, runs it
// (with Qt Core alone: no display is needed, as it runs from timers, tasks and remote shells)
// and gives its exit status; nothing when the window is wanted.
std::optional<int> runCommandIfAsked(int argc, char** argv);

// The zone message of stored lines; a line that cannot be sent raises an EStoreError naming it
// by its place in the list and where it is stored.
QByteArray storedZoneMessage(const QStringList& lines, const QString& storedIn);

// An error's text as the commands print it on stderr, after "qev: ".
QString commandErrorText(std::exception_ptr error);

// The device port n leads to, for messages: the link's target when it has one.
QString portDevice(quint16 port);

}  // namespace qev
