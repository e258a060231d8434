#include "platform/file_ops.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace files
{
namespace
{

std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string hiddenBeside(const std::string& finalPath, const std::string& tag)
{
    return folderOf(finalPath) + "/." + nameOf(finalPath) + tag + ".XXXXXX";
}

// The umask cannot be read without setting it; creation modes below honour it anyway, this
// only restores the usual mode of a file that mkostemp made 0600.
mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

int createNew(const std::string& path, mode_t mode)
{
    // O_EXCL with O_CREAT fails on any existing name, a dangling link included.
    const int fd =
        ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
    return fd >= 0 ? fd : -errno;
}

TempFile createTemp(const std::string& finalPath, const std::string& tag, mode_t mode)
{
    TempFile t;
    t.path = hiddenBeside(finalPath, tag);
    t.fd = ::mkostemp(t.path.data(), O_CLOEXEC);
    if (t.fd < 0) {
        t.err = errno;
        t.path.clear();
        return t;
    }
    if (::fchmod(t.fd, mode & ~currentUmask()) != 0) {
        t.err = errno;
        ::close(t.fd);
        ::unlink(t.path.c_str());
        t.fd = -1;
        t.path.clear();
    }
    return t;
}

TempFile createTempFolder(const std::string& finalPath, const std::string& tag)
{
    TempFile t;
    t.path = hiddenBeside(finalPath, tag);
    if (!::mkdtemp(t.path.data())) {
        t.err = errno;
        t.path.clear();
        return t;
    }
    t.fd = ::open(t.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (t.fd < 0) {
        t.err = errno;
        ::rmdir(t.path.c_str());
        t.path.clear();
    }
    return t;
}

std::string descriptorPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

std::string currentPathOf(int fd)
{
    char buf[4096];
    const ssize_t n = ::readlink(descriptorPath(fd).c_str(), buf, sizeof buf);
    if (n <= 0 || size_t(n) >= sizeof buf || buf[0] != '/')
        return std::string();
    struct stat st {
    };
    if (::fstat(fd, &st) != 0 || st.st_nlink == 0)
        return std::string(); // the kernel names it "... (deleted)"
    return std::string(buf, size_t(n));
}

bool sameFile(int fd, const std::string& path)
{
    struct stat held {
    }, named{};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

uint64_t sizeLimitRoom(off_t size)
{
    rlimit lim{};
    if (::getrlimit(RLIMIT_FSIZE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY)
        return UINT64_MAX;
    return lim.rlim_cur > rlim_t(size) ? uint64_t(lim.rlim_cur - rlim_t(size)) : 0;
}

uint64_t freeSpace(const std::string& folder)
{
    struct statvfs v {
    };
    if (::statvfs(folder.c_str(), &v) != 0)
        return UINT64_MAX; // unknown: nothing to stop for
    return uint64_t(v.f_bavail) * v.f_frsize;
}

int writeAll(int fd, const void* bytes, size_t size)
{
    const char* p = static_cast<const char*>(bytes);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, p + done, size - done);
        if (n > 0)
            done += size_t(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return n < 0 ? errno : EIO;
    }
    return 0;
}

int publish(const std::string& temp, const std::string& finalPath, bool replace)
{
    if (replace) {
        if (isLink(finalPath))
            return ELOOP;
        return ::rename(temp.c_str(), finalPath.c_str()) == 0 ? 0 : errno;
    }
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: a hard link takes the name only while it is free.
    if (::link(temp.c_str(), finalPath.c_str()) == 0) {
        ::unlink(temp.c_str());
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    // No hard links either (FAT on a memory card): a look at the name, then a plain rename.
    struct stat st {
    };
    if (::lstat(finalPath.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(temp.c_str(), finalPath.c_str()) == 0 ? 0 : errno;
}

int writeFileAtomically(const std::string& path, std::string_view bytes, bool replace)
{
    TempFile t = createTemp(path, "", 0666);
    if (t.fd < 0)
        return t.err;
    int err = writeAll(t.fd, bytes.data(), bytes.size());
    if (err == 0 && ::fsync(t.fd) != 0)
        err = errno;
    if (::close(t.fd) != 0 && err == 0)
        err = errno;
    if (err == 0)
        err = publish(t.path, path, replace);
    if (err != 0)
        ::unlink(t.path.c_str());
    return err;
}

int renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    struct stat st {
    };
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int openLogFile(const std::string& path)
{
    // Non-blocking, so a FIFO at the name cannot stall the open; refused below anyway.
    const int fd = ::open(
        path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return -errno;
    struct stat st {
    };
    int err = 0;
    if (::fstat(fd, &st) != 0)
        err = errno;
    else if (S_ISDIR(st.st_mode))
        err = EISDIR;
    else if (!S_ISREG(st.st_mode))
        err = ENXIO;
    else if (::ftruncate(fd, 0) != 0)
        err = errno;
    if (err != 0) {
        ::close(fd);
        return -err;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool isLink(const std::string& path)
{
    struct stat st {
    };
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

} // namespace files
