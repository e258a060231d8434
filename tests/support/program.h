// The built program started as a user starts it, for end-to-end tests: its own HOME and
// settings, ended as a logout would end it.
#pragma once

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace e2e
{

namespace fs = std::filesystem;

class Program
{
public:
    // Starts it for a user whose data folder already has the settings given.
    Program(const std::string& home, const std::string& config)
    {
        const fs::path data = fs::path(home) / "Orvex";
        fs::create_directories(data / "DCIM");
        std::ofstream(data / "config.txt") << config;
        std::vector<std::string> env = {"HOME=" + home,
                                        "DISPLAY=" + std::string(std::getenv("DISPLAY")),
                                        "ASAN_OPTIONS=detect_leaks=0", "NO_AT_BRIDGE=1"};
        if (const char* xa = std::getenv("XAUTHORITY"))
            env.push_back(std::string("XAUTHORITY=") + xa);
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string exe = std::string(ORVEX_BINARY_DIR) + "/orvex", arg = "--simulate";
        char* argv[] = {exe.data(), arg.data(), nullptr};
        // Started from another folder: the program finds its own files.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, "/");
        if (posix_spawn(&m_pid, exe.c_str(), &actions, nullptr, argv, envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() { stop(); }
    bool running() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    // Asks it to end as a logout would and waits.
    int stop()
    {
        if (m_pid <= 0)
            return m_status;
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 200; ++i) {
            if (::waitpid(m_pid, &m_status, WNOHANG) == m_pid) {
                m_pid = -1;
                return m_status;
            }
            ::usleep(50000);
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &m_status, 0);
        m_pid = -1;
        return m_status;
    }

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

inline std::vector<std::string> filesWith(const fs::path& dir, const std::string& ext)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ext)
            out.push_back(it->path().string());
    std::sort(out.begin(), out.end());
    return out;
}

inline bool waitFor(const std::function<bool()>& cond, int ms)
{
    for (int t = 0; t < ms; t += 100) {
        if (cond())
            return true;
        ::usleep(100000);
    }
    return cond();
}

} // namespace e2e
