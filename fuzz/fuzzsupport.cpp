#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace {
QString g_tempRoot;

void removeTempRoot()
{
    if (!g_tempRoot.isEmpty())
        QDir(g_tempRoot).removeRecursively();
}
} // namespace

namespace fuzzsupport {

void initApplication()
{
    if (QCoreApplication::instance())
        return;
    // /dev/shm where there is one: the settings code syncs every write to disk.
    char pattern[] = "/dev/shm/lumivo-fuzz.XXXXXX";
    if (::access("/dev/shm", W_OK) != 0)
        std::strcpy(pattern, "/tmp/lumivo-fuzz.XXXXXX");
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        std::abort();
    }
    g_tempRoot = QString::fromLocal8Bit(pattern);
    std::atexit(removeTempRoot);
    ::setenv("XDG_DATA_HOME", pattern, 1);
    ::setenv("XDG_CONFIG_HOME", pattern, 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "lumivo";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    // The code's debug lines would only slow the runs and bury libFuzzer's report.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

} // namespace fuzzsupport
