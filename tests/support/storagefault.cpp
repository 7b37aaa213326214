#include "storagefault.h"

#include <QDirIterator>
#include <QTemporaryDir>

#include <csignal>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Copies the tree under `from` to `to`, or with `to` empty sets its modes.
void walk(const QString& from, const QString& to, bool writable = true)
{
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    for (QString p = from; !p.isEmpty(); p = it.hasNext() ? it.next() : QString()) {
        const bool dir = QFileInfo(p).isDir();
        if (to.isEmpty())
            ::chmod(QFile::encodeName(p).constData(), (dir ? 0500 : 0400) | (writable ? 0200 : 0));
        else
            dir ? QDir().mkpath(to + p.mid(from.size())) : QFile::copy(p, to + p.mid(from.size()));
    }
}

bool setFileSizeLimit(bool zero)
{
    rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = zero ? 0 : limit.rlim_max;
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}
} // namespace

StorageFault::StorageFault(const QString& dir, Kind kind) : m_dir(dir), m_kind(kind)
{
    QDir().mkpath(dir);
    const QByteArray path = QFile::encodeName(dir);
    if (qEnvironmentVariable("LUMIVO_PRIVATE_MOUNTS") == QLatin1String("1")) {
        QTemporaryDir aside;
        walk(dir, aside.path());
        const char* options = kind == Kind::Full ? "size=64k,mode=0700" : "mode=0700";
        m_mounted = ::mount("tmpfs", path.constData(), "tmpfs", 0, options) == 0;
        if (!m_mounted)
            return;
        walk(aside.path(), dir);
        m_valid = kind == Kind::Full
            || ::mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_RDONLY, "mode=0700") == 0;
        QFile filler(dir + "/.filler"); // fill what is left, so that a write of any size fails
        if (kind == Kind::Full && filler.open(QIODevice::WriteOnly))
            for (int block = 4096; block > 0; block /= 4096)
                while (filler.write(QByteArray(block, 'x')) == block && filler.flush()) {
                }
    } else if (kind == Kind::ReadOnly) {
        m_valid = ::geteuid() != 0; // root writes through file modes
        if (m_valid)
            walk(dir, QString(), false);
    } else {
        std::signal(SIGXFSZ, SIG_IGN);
        m_valid = setFileSizeLimit(true);
    }
}

StorageFault::~StorageFault()
{
    lift();
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir).constData(), MNT_DETACH);
}

void StorageFault::lift()
{
    if (m_mounted && m_kind == Kind::ReadOnly)
        ::mount(nullptr, QFile::encodeName(m_dir).constData(), nullptr, MS_REMOUNT, "mode=0700");
    QFile::remove(m_dir + "/.filler");
    if (!m_mounted && m_valid)
        m_kind == Kind::Full ? void(setFileSizeLimit(false)) : walk(m_dir, QString());
}
