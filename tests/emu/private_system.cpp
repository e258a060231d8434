#include "emu/private_system.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace emu
{

namespace fs = std::filesystem;

namespace
{

bool fail(std::string* error, const std::string& what)
{
    if (error)
        *error = what + ": " + std::strerror(errno);
    return false;
}

bool mountTmpfs(const fs::path& at, std::string* error)
{
    if (::mount("tmpfs", at.c_str(), "tmpfs", MS_NOSUID, "mode=755") != 0)
        return fail(error, "tmpfs on " + at.string());
    return true;
}

bool bind(const fs::path& from, const fs::path& to, std::string* error)
{
    if (::mount(from.c_str(), to.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
        return fail(error, "bind " + from.string() + " on " + to.string());
    return true;
}

// An empty file or folder to bind the entry onto, or a copy of a link.
void placeholderFor(const fs::path& entry, const fs::path& at)
{
    std::error_code ec;
    if (fs::is_symlink(entry, ec))
        fs::create_symlink(fs::read_symlink(entry, ec), at, ec);
    else if (fs::is_directory(entry, ec))
        fs::create_directory(at, ec);
    else
        std::ofstream(at).flush();
}

// A tmpfs over `folder` that still shows the host's entries (each bound back), so that a
// folder missing on the host can be added without touching the host.
bool overlayFolder(const fs::path& folder, const fs::path& staging, std::string* error)
{
    const fs::path host = staging / "host";
    fs::create_directories(host);
    if (!bind(folder, host, error) || !mountTmpfs(folder, error))
        return false;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(host, ec)) {
        const fs::path at = folder / e.path().filename();
        placeholderFor(e.path(), at);
        if (!fs::is_symlink(e.path(), ec) && !bind(e.path(), at, error))
            return false;
    }
    ::umount2(host.c_str(), MNT_DETACH);
    fs::remove(host, ec);
    return true;
}

bool writeProc(const char* file, const std::string& text)
{
    std::ofstream out(file);
    out << text;
    out.flush();
    return bool(out);
}

// A /dev of basic nodes prepared beside and moved into place, since the host's nodes are
// hidden once a tmpfs covers /dev.
bool privateDev(const fs::path& staging, std::string* error)
{
    const fs::path dev = staging / "dev";
    fs::create_directories(dev);
    if (!mountTmpfs(dev, error))
        return false;
    std::error_code ec;
    for (const char* n : {"null", "zero", "full", "random", "urandom", "tty", "shm", "pts"}) {
        const fs::path host = fs::path("/dev") / n;
        if (!fs::exists(host, ec))
            continue;
        placeholderFor(host, dev / n);
        if (!bind(host, dev / n, error))
            return false;
    }
    fs::create_symlink("pts/ptmx", dev / "ptmx", ec);
    fs::create_symlink("/proc/self/fd", dev / "fd", ec);
    const char* std[] = {"stdin", "stdout", "stderr"};
    for (int i = 0; i < 3; ++i)
        fs::create_symlink("/proc/self/fd/" + std::to_string(i), dev / std[i], ec);
    if (::mount(dev.c_str(), "/dev", nullptr, MS_MOVE, nullptr) != 0)
        return fail(error, "moving the private /dev");
    return true;
}

// An empty /sys, but with the CPU folders the host has (libraries count processors there).
bool privateSys(const fs::path& staging, std::string* error)
{
    const fs::path host = staging / "sys";
    fs::create_directories(host);
    if (!bind("/sys", host, error) || !mountTmpfs("/sys", error))
        return false;
    std::error_code ec;
    const fs::path cpu = "devices/system/cpu";
    if (fs::exists(host / cpu, ec)) {
        fs::create_directories("/sys" / cpu);
        if (!bind(host / cpu, "/sys" / cpu, error))
            return false;
    }
    ::umount2(host.c_str(), MNT_DETACH);
    fs::remove(host, ec);
    return true;
}

} // namespace

Entered enterPrivateSystem(const fs::path& staging, std::string* error)
{
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    int flags = CLONE_NEWNS | CLONE_NEWNET;
    if (uid != 0)
        flags |= CLONE_NEWUSER;
    if (::unshare(flags) != 0) {
        fail(error, "unshare");
        return errno == EPERM || errno == EINVAL || errno == ENOSPC || errno == EUSERS
                   ? Entered::Unavailable
                   : Entered::Failed;
    }
    if (uid != 0 && !(writeProc("/proc/self/setgroups", "deny") &&
                      writeProc("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
                      writeProc("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))) {
        fail(error, "mapping the user into its namespace");
        return Entered::Unavailable;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        fail(error, "making the mounts private");
        return Entered::Unavailable;
    }
    std::error_code ec;
    const bool runOk = fs::exists("/run/udev", ec) ? mountTmpfs("/run/udev", error)
                                                   : overlayFolder("/run", staging, error) &&
                                                         fs::create_directory("/run/udev", ec);
    if (!runOk || !privateSys(staging, error) || !privateDev(staging, error))
        return Entered::Failed;
    return Entered::Yes;
}

} // namespace emu
