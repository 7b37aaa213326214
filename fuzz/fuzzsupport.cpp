#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

// A QCoreApplication named "lumivo" whose data and config locations are a private
// temporary directory (removed at exit): no target touches the user's files.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // In memory where possible: the settings code syncs every write to disk.
    static char root[] = "/dev/shm/lumivo-fuzz.XXXXXX";
    if (::access("/dev/shm", W_OK) != 0)
        std::strcpy(root, "/tmp/lumivo-fuzz.XXXXXX");
    if (!::mkdtemp(root))
        std::perror("mkdtemp"), std::abort();
    std::atexit([] { QDir(QString::fromLocal8Bit(root)).removeRecursively(); });
    ::setenv("XDG_DATA_HOME", root, 1);
    ::setenv("XDG_CONFIG_HOME", root, 1);
    static int argc = 1;
    static char name[] = "lumivo";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    // The code's debug lines would slow the runs and bury libFuzzer's report;
    // LUMIVO_FUZZ_VERBOSE=1 keeps them, to look into one input.
    if (qEnvironmentVariableIsEmpty("LUMIVO_FUZZ_VERBOSE"))
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

namespace fuzzsupport {

void check(bool ok, const char* what)
{
    if (!ok)
        std::fprintf(stderr, "property broken: %s\n", what), std::abort();
}

const std::uint8_t* guardedCopy(const std::uint8_t* data, std::size_t size)
{
    static std::uint8_t* region = nullptr;
    static std::size_t capacity = 0;
    const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE)), need = (size + page - 1) / page * page;
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
    if (size)
        std::memcpy(region + capacity - size, data, size);
    return region + capacity - size;
}

} // namespace fuzzsupport
