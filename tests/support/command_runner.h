#pragma once
// Runs a command in this process as "qev ARGS..." would, keeping what it prints: the tests'
// one way to a command (for tests that link qev_cli).

#include "cli/cli_commands.h"
#include "cli/command_line.h"

#include <QTextStream>

namespace qev::test {

struct CommandRun {
    int status = -1;
    QString out;
    QString err;
};

struct CommandSetting {
    ClockSync clock = ClockSync::Synced;
    QString settingsFile;            // empty: the one of the configuration folder in force
    std::function<QDateTime()> now;  // empty: the real clock
};

inline CommandRun runQev(const QStringList& args, const CommandSetting& setting = {}) {
    CommandRun run;
    QTextStream out(&run.out), err(&run.err);
    CommandContext context{out, err, [clock = setting.clock] { return clock; },
                           setting.settingsFile};
    if (setting.now)
        context.now = setting.now;
    run.status = runCommand(parseCommandLine(QStringList{QStringLiteral("qev")} + args), context);
    out.flush();
    err.flush();
    return run;
}

}  // namespace qev::test
