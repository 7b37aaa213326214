#pragma once

#include <QString>

// A directory whose writes fail as on a full or read-only disk: a small or read-only
// tmpfs with private mounts (tests/process/run-private-mounts.sh); otherwise file modes
// (read-only, not as root) or a file size limit (full; writes fail with EFBIG).
class StorageFault
{
public:
    enum class Kind { ReadOnly, Full };
    StorageFault(const QString& dir, Kind kind); // `dir` keeps what it holds
    ~StorageFault();
    bool isValid() const { return m_valid; }
    void lift(); // the disk is freed or made writable again

private:
    QString m_dir;
    Kind m_kind;
    bool m_valid = false, m_mounted = false;
};
