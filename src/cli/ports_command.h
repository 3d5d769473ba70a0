#pragma once
// The ports command: the list of present ports with what each one is (adapters plugged in
// meanwhile get their numbers first), and pinning a number by hand with --link and --unlink.

namespace qev {

struct Command;
struct CommandContext;

// The exit status: 0 when done, 1 when not (the reason written to the context's err).
int runPortsCommand(const Command& command, CommandContext& context);

}  // namespace qev
