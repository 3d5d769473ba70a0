#pragma once
// Resolving every link of a path, as realpath(3) does, in a few system calls however deep the
// path: listings resolve device and sysfs paths by the hundred. POSIX only; nothing is opened
// for reading or writing (a device's driver is not asked, a pipe does not wait).

#include <QString>

namespace qev {

// The path with every link resolved; empty when nothing is there.
QString realPath(const QString& path);

}  // namespace qev
