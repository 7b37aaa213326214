#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
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
    // LUMIVO_FUZZ_VERBOSE=1 keeps them, to look into one input.
    if (qEnvironmentVariableIsEmpty("LUMIVO_FUZZ_VERBOSE"))
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

const std::uint8_t* guardedCopy(const std::uint8_t* data, std::size_t size)
{
    static std::uint8_t* region = nullptr;
    static std::size_t capacity = 0;
    const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
    const std::size_t need = (size + page - 1) / page * page;
    if (need > capacity) {
        if (region)
            ::munmap(region, capacity + page);
        capacity = need;
        void* p = ::mmap(nullptr, capacity + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            std::abort();
        region = static_cast<std::uint8_t*>(p);
        ::mprotect(region + capacity, page, PROT_NONE);
    }
    std::uint8_t* at = region + capacity - size;
    if (size)
        std::memcpy(at, data, size);
    return at;
}

} // namespace fuzzsupport
