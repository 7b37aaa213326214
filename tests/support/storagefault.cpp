#include "storagefault.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Copies what `from` holds into `to` (flat files and sub-directories).
void copyTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (it.fileInfo().isDir())
            QDir().mkpath(target);
        else
            QFile::copy(path, target);
    }
}

void setModes(const QString& dir, bool writable)
{
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    QStringList all{dir};
    while (it.hasNext())
        all << it.next();
    for (const QString& p : all) {
        const bool isDir = QFileInfo(p).isDir();
        ::chmod(QFile::encodeName(p).constData(), writable ? (isDir ? 0700 : 0600) : (isDir ? 0500 : 0400));
    }
}
} // namespace

bool StorageFault::canMount() { return qEnvironmentVariable("LUMIVO_PRIVATE_MOUNTS") == QLatin1String("1"); }

StorageFault::StorageFault(const QString& dir, Kind kind) : m_dir(dir), m_kind(kind)
{
    QDir().mkpath(dir);
    const QByteArray path = QFile::encodeName(dir);
    if (canMount()) {
        // Keep what the directory holds: copy it aside and back into the new file system.
        QTemporaryDir aside;
        copyTree(dir, aside.path());
        const char* options = kind == Kind::Full ? "size=64k,mode=0700" : "mode=0700";
        if (::mount("tmpfs", path.constData(), "tmpfs", 0, options) != 0)
            return;
        m_mounted = true;
        copyTree(aside.path(), dir);
        if (kind == Kind::ReadOnly) {
            m_valid = ::mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_RDONLY, "mode=0700") == 0;
            m_method = QStringLiteral("read-only tmpfs mount");
        } else {
            // Fill what is left, so that the next write of any size fails.
            m_filler = dir + "/.filler";
            QFile filler(m_filler);
            filler.open(QIODevice::WriteOnly);
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
            const QByteArray byte(1, 'x');
            while (filler.write(byte) == 1 && filler.flush()) {
            }
            filler.close();
            m_valid = true;
            m_method = QStringLiteral("64 KiB tmpfs mount, filled");
        }
        return;
    }
    if (kind == Kind::ReadOnly) {
        if (::geteuid() == 0)
            return;  // root writes through file modes: no fallback
        setModes(dir, false);
        m_valid = true;
        m_method = QStringLiteral("read-only file modes");
    } else {
        // Every file of the process may not grow beyond 0 bytes from now on.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 0;
        m_limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        m_valid = m_limited;
        m_method = QStringLiteral("file size limit 0 (RLIMIT_FSIZE)");
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
    const QByteArray path = QFile::encodeName(m_dir);
    if (m_mounted && m_kind == Kind::ReadOnly)
        ::mount(nullptr, path.constData(), nullptr, MS_REMOUNT, "mode=0700");
    if (!m_filler.isEmpty())
        QFile::remove(m_filler);
    m_filler.clear();
    if (m_limited) {
        rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        m_limited = false;
    }
    if (!m_mounted && m_kind == Kind::ReadOnly && m_valid)
        setModes(m_dir, true);
}
