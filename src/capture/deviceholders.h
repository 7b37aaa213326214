#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace capture {

// The other programs that have a device node (or any file) open, found through
// /proc/<pid>/fd: only the processes whose descriptors the user may read are seen.
// Names come from /proc/<pid>/comm, else the executable's base name.
class DeviceHolders
{
public:
    // Holders of the file behind the open descriptor `fd` (ours, not counted).
    static QStringList ofDescriptor(int fd);
    // Holders of the file at `path`; none when it does not exist.
    static QStringList ofPath(const QString& path);
    // Each program once, in process-id order; this process is left out.
    static QStringList find(dev_t device, ino_t inode);
    // The name of process `pid`, empty when it cannot be read.
    static QString processName(const QString& pid);
};

} // namespace capture
