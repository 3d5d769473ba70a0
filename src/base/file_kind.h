#pragma once
// What a path names, in words for messages that refuse it ("a named pipe", "a link to the
// folder "/tmp""), found without opening it: opening a pipe or a device can wait for another
// program or have effects of its own.

#include <QString>

namespace qev {

// "a regular file", "a named pipe", "a socket", "a character device", "a block device",
// "a folder"; for a link, "a link to the named pipe "<target>"", or "a link to "<target>",
// which does not exist"; "nothing" when there is nothing at path.
QString fileKindText(const QString& path);

}  // namespace qev
