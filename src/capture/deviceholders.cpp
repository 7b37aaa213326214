#include "capture/deviceholders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace capture {

QStringList DeviceHolders::ofDescriptor(int fd)
{
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return {};
    return find(st.st_dev, st.st_ino);
}

QStringList DeviceHolders::ofPath(const QString& path)
{
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return find(st.st_dev, st.st_ino);
}

QString DeviceHolders::processName(const QString& pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (comm.open(QIODevice::ReadOnly)) {
        const QString name = QString::fromLocal8Bit(comm.readAll()).trimmed();
        if (!name.isEmpty())
            return name;
    }
    const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    return exe.isEmpty() ? QString() : QFileInfo(exe).fileName();
}

QStringList DeviceHolders::find(dev_t device, ino_t inode)
{
    const QString self = QString::number(::getpid());
    QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    pids.erase(std::remove_if(pids.begin(), pids.end(), [&](const QString& p) {
                   bool number = false;
                   p.toLongLong(&number);
                   return !number || p == self;
               }),
               pids.end());
    std::sort(pids.begin(), pids.end(), [](const QString& a, const QString& b) { return a.toLongLong() < b.toLongLong(); });

    QStringList names;
    for (const QString& pid : qAsConst(pids)) {
        const QString fdDir = QStringLiteral("/proc/%1/fd/").arg(pid);
        // Unreadable for other users' processes: they are simply not seen.
        const QByteArray dirName = QFile::encodeName(fdDir);
        DIR* dir = ::opendir(dirName.constData());
        if (!dir)
            continue;
        bool holds = false;
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            struct stat st;
            // stat follows the descriptor's link to the open file itself, wherever it lives.
            if (::stat((dirName + entry->d_name).constData(), &st) == 0 && st.st_dev == device && st.st_ino == inode) {
                holds = true;
                break;
            }
        }
        ::closedir(dir);
        if (!holds)
            continue;
        const QString name = processName(pid);
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    }
    return names;
}

} // namespace capture
