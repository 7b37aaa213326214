#pragma once

#include <QString>

// A directory whose writes fail, the way a full or read-only disk makes them fail. With
// private mounts (see run-private-mounts.sh) it is a small or read-only tmpfs; without,
// file modes (read-only) or a file size limit (full; SIGXFSZ ignored, so writes fail with
// EFBIG as they would with ENOSPC).
class StorageFault
{
public:
    enum class Kind { ReadOnly, Full };

    // `dir` is made (if missing) and given the fault; existing content stays readable.
    StorageFault(const QString& dir, Kind kind);
    ~StorageFault();

    bool isValid() const { return m_valid; }
    // How the fault was made, for the test's output.
    QString method() const { return m_method; }
    // Ends the fault (the disk is freed or made writable again).
    void lift();

    static bool canMount();

private:
    QString m_dir;
    Kind m_kind;
    QString m_method;
    bool m_valid = false;
    bool m_mounted = false;
    bool m_limited = false;
    QString m_filler;
};
