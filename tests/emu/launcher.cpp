// orvex_emu_run: runs a program on the rig's devices as the kernel and udev would show them,
// in private namespaces, with /dev/video* served by the device server.
//   orvex_emu_run [--scenario F] [--uid N] [--control SOCK] -- PROGRAM ARGS...
// Control lines: plug NAME, unplug NAME, stall NAME MS, frames NAME on|off, tube NAME in|out,
// nodes, counters N, closed N (ms from the unplug to the node's last close, or "wait"),
// hold N (opens the node and keeps it open), release, pid, quit. orvex_emu_ctl sends them. Exit
// status: the program's; 77 where namespaces are refused.
#include "emu/device_protocol.h"
#include "emu/device_server.h"
#include "emu/private_system.h"
#include "emu/sysfs_tree.h"
#include "emu/uevent_sender.h"

#include <scopesim/rig.h>
#include <scopesim/scopesim.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <set>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace
{

constexpr int kSkip = 77;

struct Options {
    std::string scenario, control;
    int uid = -1;
    std::vector<std::string> program;
};

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--" && i + 1 < argc) {
            o.program.assign(argv + i + 1, argv + argc);
            return true;
        }
        if (i + 1 >= argc)
            return false;
        if (a == "--scenario")
            o.scenario = argv[++i];
        else if (a == "--control")
            o.control = argv[++i];
        else if (a == "--uid")
            o.uid = std::atoi(argv[++i]);
        else
            return false;
    }
    return false;
}

sockaddr_un unixAddress(const std::string& path)
{
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    return a;
}

// "NAME REST": a device name may hold blanks, so the last `words` words are the arguments.
bool splitName(const std::string& rest, int words, std::string& name,
               std::vector<std::string>& args)
{
    name = rest;
    for (int i = 0; i < words; ++i) {
        const size_t blank = name.find_last_of(' ');
        if (blank == std::string::npos)
            return false;
        args.insert(args.begin(), name.substr(blank + 1));
        name = name.substr(0, blank);
    }
    return !name.empty();
}

class Launcher
{
public:
    Launcher(const fs::path& work)
        : m_socket((work / "devices.sock").string()), m_server(m_socket), m_tree("/")
    {
        ::chmod((work / "devices.sock").c_str(), 0777); // the program may run as another user
        m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        m_listener = scopesim::addPlugListener([this](const scopesim::PlugEvent& e) {
            // Any thread may fire it (scripted events run inside rig calls): handled on ours.
            std::lock_guard<std::mutex> g(m_lock);
            m_pending.push_back(e);
            const uint64_t one = 1;
            (void)!::write(m_wake, &one, sizeof one);
        });
        sync();
    }
    ~Launcher()
    {
        for (int fd : m_held)
            ::close(fd);
        scopesim::removePlugListener(m_listener);
        ::close(m_wake);
    }
    bool eventsOk() const { return m_sender.ok(); }
    int wakeFd() const { return m_wake; }

    // The kernel's order: a device that went has its nodes die, then its sysfs folders go,
    // then udev tells; one that came has its folders, then its nodes, then udev tells.
    void handlePlugEvents()
    {
        uint64_t n;
        (void)!::read(m_wake, &n, sizeof n);
        std::vector<scopesim::PlugEvent> events;
        {
            std::lock_guard<std::mutex> g(m_lock);
            events.swap(m_pending);
        }
        for (const auto& e : events)
            if (!e.arrived)
                unplugged(e.id);
        if (!events.empty())
            sync();
    }

    std::string command(const std::string& line)
    {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        std::string rest;
        std::getline(in >> std::ws, rest);
        std::string name, error;
        std::vector<std::string> args;
        if (verb == "nodes")
            return "ok" + nodeList();
        if (verb == "counters") {
            const int node = std::atoi(rest.c_str());
            const auto c = m_server.counters(node);
            return "ok ioctls " + std::to_string(c.ioctls) + " afterUnplug " +
                   std::to_string(c.afterUnplug) + " streamOns " + std::to_string(c.streamOns) +
                   " busyRefusals " + std::to_string(c.busyRefusals) + " noSpace " +
                   std::to_string(c.noSpace) + " dequeued " + std::to_string(c.dequeued) +
                   " formatSets " + std::to_string(c.formatSets) + " format " + c.format +
                   " size " + std::to_string(c.width) + "x" + std::to_string(c.height) +
                   " openFiles " + std::to_string(m_server.openFiles(node));
        }
        if (verb == "closed") {
            auto it = m_dying.find(std::atoi(rest.c_str()));
            if (it == m_dying.end())
                return "error: not unplugged";
            if (!it->second.closed)
                return "wait";
            return "ok " + std::to_string(it->second.closed->count());
        }
        if (verb == "hold")
            return hold(std::atoi(rest.c_str()));
        if (verb == "release") {
            for (int fd : m_held)
                ::close(fd);
            m_held.clear();
            return "ok";
        }
        if (verb == "plug" || verb == "unplug") {
            const bool in = verb == "plug";
            auto v = scopesim::findVideoInput(rest);
            if (!in && v && v->plugged)
                unplugged(v->id); // the node dies before anything else is seen
            if (!scopesim::plug(rest, in))
                return "error: no device " + rest;
            handlePlugEvents();
            return "ok";
        }
        if ((verb == "stall" || verb == "frames" || verb == "tube") &&
            splitName(rest, 1, name, args)) {
            const std::string rig = verb + " \"" + name + "\" " + args[0];
            if (!scopesim::command(rig, &error))
                return "error: " + error;
            return "ok";
        }
        return "error: unknown command " + line;
    }

    // Notes when the last file of a dead node closes; called every turn of the loop.
    void watchClosing()
    {
        for (auto& [number, d] : m_dying)
            if (!d.closed && m_server.openFiles(number) == 0)
                d.closed = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - d.at);
    }

private:
    void unplugged(int rigId)
    {
        if (m_gone.count(rigId))
            return;
        m_gone.insert(rigId);
        for (const auto& n : m_nodes)
            if (n.rigId == rigId)
                m_dying[n.number] = {std::chrono::steady_clock::now(), std::nullopt};
        m_server.unplug(rigId);
    }

    // Opens a node as another program would and keeps it open: a file of an old plug-in
    // still open while the device comes back.
    std::string hold(int number)
    {
        const int sock = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        const sockaddr_un a = unixAddress(m_socket);
        emu::wire::Request rq;
        rq.op = emu::wire::Op::Open;
        rq.number = number;
        rq.flags = O_RDWR;
        emu::wire::Reply reply;
        int fd = -1;
        if (sock < 0 || ::connect(sock, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
            !emu::wire::send(sock, &rq, sizeof rq, nullptr, 0, nullptr, 0) ||
            emu::wire::receive(sock, &reply, sizeof reply, nullptr, 0, &fd) < 0 || reply.error) {
            if (sock >= 0)
                ::close(sock);
            return "error: cannot open video" + std::to_string(number);
        }
        m_held.push_back(sock); // the connection is the open file, fd what a program holds
        if (fd >= 0)
            m_held.push_back(fd);
        return "ok";
    }

    std::string nodeList() const
    {
        std::string out;
        for (const auto& n : m_nodes)
            out += " video" + std::to_string(n.number) + "=" + std::to_string(n.rigId) +
                   (n.metadata ? "m" : "");
        return out;
    }

    void sync()
    {
        m_gone.clear();
        m_nodes.clear();
        for (const emu::NodeInfo& n : m_server.syncWithRig())
            m_nodes.push_back(
                {n.number, n.rigId, n.metadata, n.driver, n.card, n.deviceCaps, n.unopenable});
        const auto changes = m_tree.update(m_nodes);
        for (const auto& e : changes.removed)
            m_sender.send("remove", e);
        for (const auto& e : changes.added)
            m_sender.send("add", e);
    }

    std::string m_socket;
    emu::DeviceServer m_server;
    emu::SysfsTree m_tree;
    emu::UeventSender m_sender;
    std::vector<emu::TreeNode> m_nodes;
    std::mutex m_lock;
    std::vector<scopesim::PlugEvent> m_pending;
    int m_wake = -1;
    int m_listener = 0;
    std::vector<int> m_held;
    struct Dying {
        std::chrono::steady_clock::time_point at;
        std::optional<std::chrono::milliseconds> closed;
    };
    std::map<int, Dying> m_dying; // dead nodes by number
    std::set<int> m_gone;         // rig ids unplugged since the last sync
};

// The X server's cookie where a user of another uid may read it.
void shareXauthority(const fs::path& work, int uid)
{
    const char* xa = std::getenv("XAUTHORITY");
    if (!xa || !*xa)
        return;
    const fs::path copy = work / "Xauthority";
    std::error_code ec;
    fs::copy_file(xa, copy, fs::copy_options::overwrite_existing, ec);
    if (!ec && ::chown(copy.c_str(), uid_t(uid), gid_t(uid)) == 0)
        ::setenv("XAUTHORITY", copy.c_str(), 1);
}

// The program's environment: the preload, where its server listens, and what the sanitizer
// runtime needs to accept a library loaded ahead of it.
std::vector<std::string> programEnvironment(const fs::path& work)
{
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string kv = *e;
        const size_t eq = kv.find('=');
        if (eq != std::string::npos)
            env[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    env["LD_PRELOAD"] = EMU_PRELOAD;
    env[emu::kSocketEnv] = (work / "devices.sock").string();
    std::string& asan = env["ASAN_OPTIONS"];
    asan += (asan.empty() ? "" : ":") + std::string("verify_asan_link_order=0");
    std::vector<std::string> out;
    for (const auto& [k, v] : env)
        out.push_back(k + "=" + v);
    return out;
}

// In the child of a process with threads: only calls that are safe after fork.
[[noreturn]] void execProgram(int uid, char* const* argv, char* const* envp, const sigset_t& mask)
{
    ::sigprocmask(SIG_UNBLOCK, &mask, nullptr);
    // After the mounts: the user the program runs as has no supplementary groups.
    if (uid >= 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(gid_t(uid)) != 0 || ::setuid(uid_t(uid)) != 0))
        ::_exit(126);
    ::execve(argv[0], argv, envp);
    ::_exit(127);
}

int listenOn(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::unlink(path.c_str());
    const sockaddr_un a = unixAddress(path);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(fd, 8) != 0) {
        std::perror("orvex_emu_run: control socket");
        return -1;
    }
    return fd;
}

// One line in, one line out, then the client goes.
void serveControl(int listenFd, Launcher& launcher, pid_t child, bool& quit)
{
    const int c = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0)
        return;
    std::string line;
    char ch;
    while (line.size() < 4096 && ::read(c, &ch, 1) == 1 && ch != '\n')
        line += ch;
    std::string answer;
    if (line == "quit") {
        quit = true;
        ::kill(child, SIGTERM);
        answer = "ok";
    } else if (line == "pid") {
        answer = "ok " + std::to_string(child);
    } else {
        answer = launcher.command(line);
    }
    answer += "\n";
    (void)!::write(c, answer.data(), answer.size());
    ::close(c);
}

int statusOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

int run(const Options& o, const fs::path& work)
{
    if (o.uid >= 0 && ::geteuid() != 0) {
        // A user namespace maps only the caller: there is no other user to become.
        std::fprintf(stderr, "orvex_emu_run: --uid needs root\n");
        return kSkip;
    }
    std::string why;
    switch (emu::enterPrivateSystem(work, &why)) {
    case emu::Entered::Unavailable:
        std::fprintf(stderr, "orvex_emu_run: namespaces not available: %s\n", why.c_str());
        return kSkip;
    case emu::Entered::Failed:
        std::fprintf(stderr, "orvex_emu_run: %s\n", why.c_str());
        return 2;
    case emu::Entered::Yes:
        break;
    }
    if (o.uid >= 0)
        shareXauthority(work, o.uid);
    // Blocked before the rig and the server start their threads, so that only the signal
    // file takes them.
    sigset_t mask;
    sigemptyset(&mask);
    for (int s : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&mask, s);
    ::sigprocmask(SIG_BLOCK, &mask, nullptr);
    // Real time: the program under test runs on the wall clock too.
    if (scopesim_start(o.scenario.empty() ? nullptr : o.scenario.c_str()) != 0)
        return 2;
    int rc = 2;
    {
        Launcher launcher(work);
        if (!launcher.eventsOk()) {
            std::fprintf(stderr, "orvex_emu_run: udev events cannot be sent here\n");
            scopesim_stop();
            return kSkip;
        }
        const int control = o.control.empty() ? -1 : listenOn(o.control);
        if (!o.control.empty() && control < 0)
            return 2;
        const int signals = ::signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
        std::vector<std::string> env = programEnvironment(work);
        std::vector<char*> argv, envp;
        for (const std::string& a : o.program)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const pid_t child = ::fork();
        if (child == 0)
            execProgram(o.uid, argv.data(), envp.data(), mask);
        bool quit = false;
        for (;;) {
            pollfd fds[3] = {
                {signals, POLLIN, 0}, {launcher.wakeFd(), POLLIN, 0}, {control, POLLIN, 0}};
            ::poll(fds, control >= 0 ? 3 : 2, 20);
            scopesim_poll(); // scripted events of the scenario
            launcher.watchClosing();
            if (fds[1].revents & POLLIN)
                launcher.handlePlugEvents();
            if (control >= 0 && (fds[2].revents & POLLIN))
                serveControl(control, launcher, child, quit);
            if (fds[0].revents & POLLIN) {
                signalfd_siginfo si{};
                (void)!::read(signals, &si, sizeof si);
                if (si.ssi_signo != SIGCHLD)
                    ::kill(child, int(si.ssi_signo));
            }
            int status = 0;
            if (::waitpid(child, &status, WNOHANG) == child) {
                rc = statusOf(status);
                break;
            }
        }
        if (control >= 0) {
            ::close(control);
            ::unlink(o.control.c_str());
        }
    }
    scopesim_stop();
    return rc;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: orvex_emu_run [--scenario F] [--uid N] [--control SOCK] -- "
                             "PROGRAM ARGS...\n");
        return 2;
    }
    char tmpl[] = "/tmp/orvex-emu-XXXXXX";
    if (!::mkdtemp(tmpl))
        return 2;
    const fs::path work = tmpl;
    ::chmod(work.c_str(), 0755);
    const int rc = run(o, work);
    std::error_code ec;
    fs::remove_all(work, ec);
    return rc;
}
