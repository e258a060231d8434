// orvex_emu_ctl SOCK COMMAND...: sends one control line to a running orvex_emu_run and
// prints its answer; exit 0 for "ok ...", 1 for anything else. Kept apart from the launcher
// so that a script's many calls stay cheap.
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: orvex_emu_ctl SOCK COMMAND...\n");
        return 2;
    }
    std::string line;
    for (int i = 2; i < argc; ++i)
        line += (i > 2 ? " " : "") + std::string(argv[i]);
    line += "\n";
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, argv[1], sizeof a.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        std::perror("orvex_emu_ctl: control socket");
        return 2;
    }
    if (::write(fd, line.data(), line.size()) != ssize_t(line.size()))
        return 2;
    std::string answer;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        answer += c;
    ::close(fd);
    std::printf("%s\n", answer.c_str());
    return answer.rfind("ok", 0) == 0 ? 0 : 1;
}
