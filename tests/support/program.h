// The built program started as a user starts it, for end-to-end tests: its own HOME and
// settings, ended as a logout would end it.
#pragma once

#include "support/wait_for.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace e2e
{

namespace fs = std::filesystem;

// The program folder under test: ORVEX_PROGRAM_DIR (an optimised build, say), else the
// build these tests belong to.
inline std::string programDir()
{
    const char* dir = std::getenv("ORVEX_PROGRAM_DIR");
    return dir && *dir ? std::string(dir) : std::string(ORVEX_BINARY_DIR);
}

class Program
{
public:
    // Starts it for a user whose data folder already has the settings given. What it prints
    // goes to the file output when one is named. Toolkit warnings and criticals end it, so a
    // test cannot pass over one.
    Program(const std::string& home, const std::string& config, const std::string& output = {})
    {
        const fs::path data = fs::path(home) / "Orvex";
        fs::create_directories(data / "DCIM");
        std::ofstream(data / "config.txt") << config;
        std::vector<std::string> env = {"HOME=" + home,
                                        "DISPLAY=" + std::string(std::getenv("DISPLAY")),
                                        "ASAN_OPTIONS=detect_leaks=0", "NO_AT_BRIDGE=1",
                                        "G_DEBUG=fatal-warnings"};
        if (const char* xa = std::getenv("XAUTHORITY"))
            env.push_back(std::string("XAUTHORITY=") + xa);
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string exe = programDir() + "/orvex", arg = "--simulate";
        char* argv[] = {exe.data(), arg.data(), nullptr};
        // Started from another folder: the program finds its own files.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, "/");
        if (!output.empty()) {
            posix_spawn_file_actions_addopen(&actions, 1, output.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_adddup2(&actions, 1, 2);
        }
        if (posix_spawn(&m_pid, exe.c_str(), &actions, nullptr, argv, envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() { stop(); }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
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

// The lines of a program's output in which GLib, GObject or GTK warn or complain.
inline std::string toolkitComplaints(const std::string& output)
{
    std::string found;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (line.find("-CRITICAL **") != std::string::npos ||
            line.find("-WARNING **") != std::string::npos)
            found += line + "\n";
    return found;
}

} // namespace e2e
