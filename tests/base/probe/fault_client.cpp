// A bare client for the single-instance channel, run by the tests as another user:
//   fault_client connect PATH   prints "connected" or "refused <errno>"
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3 || std::strcmp(argv[1], "connect") != 0) {
        std::fprintf(stderr, "usage: fault_client connect PATH\n");
        return 2;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, argv[2], sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        std::printf("connected\n");
    else
        std::printf("refused %d\n", errno);
    ::close(fd);
    return 0;
}
