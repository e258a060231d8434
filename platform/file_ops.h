// Every file the program writes goes through here, so that a link planted in a folder anyone
// may write to is never written through, and a file that exists is never replaced by accident.
// Each function returns 0 (or a descriptor) on success and an errno value on failure.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace files
{

// Creates path as a new regular file open for writing. Never follows a link and never opens
// a file that is already there (EEXIST, whatever is at the name). Returns the descriptor or
// -errno.
int createNew(const std::string& path, mode_t mode = 0666);

// A new hidden file beside finalPath (".<name><tag>.XXXXXX", the end unpredictable), created
// exclusively, so no link or file planted at a guessable name is ever opened. fd < 0 on
// failure with err set.
struct TempFile {
    int fd = -1;
    std::string path;
    int err = 0;
};
TempFile createTemp(const std::string& finalPath, const std::string& tag, mode_t mode = 0666);

// A new hidden folder beside finalPath (".<name><tag>.XXXXXX"), private to this user (0700) and
// held open: fd is the folder's descriptor. What a writer that insists on a path of its own
// creates inside (see descriptorPath) cannot meet a link anyone else planted.
TempFile createTempFolder(const std::string& finalPath, const std::string& tag);

// "/proc/self/fd/<fd>": the file or folder fd holds, whatever was done to its name since.
std::string descriptorPath(int fd);

// Where the file fd holds is now (its folder may have been renamed); empty when unknown or
// when the file has no name any more.
std::string currentPathOf(int fd);

// Whether path itself (not a link there) is the file fd holds.
bool sameFile(int fd, const std::string& path);

// Bytes a file of this size may still grow under the process's file-size limit (prlimit,
// ulimit -f); UINT64_MAX without a limit. Past it writes fail rather than signal.
uint64_t sizeLimitRoom(off_t size);

// Bytes free to this user where folder is; UINT64_MAX when that cannot be known.
uint64_t freeSpace(const std::string& folder);

// Writes all of bytes; 0 or the errno that stopped it (EIO for a write that made no progress).
int writeAll(int fd, const void* bytes, size_t size);

// Moves a finished temporary file to finalPath. With replace false an existing name (file,
// folder or link) is kept and EEXIST returned; with replace true a link at finalPath is refused
// (ELOOP) rather than replaced, so the program's own file never silently becomes something
// else.
int publish(const std::string& temp, const std::string& finalPath, bool replace);

// Writes bytes to a temporary file beside path, syncs it and moves it into place (see
// publish). A failure leaves whatever was at path as it was and no temporary file behind.
int writeFileAtomically(const std::string& path, std::string_view bytes, bool replace);

// Renames from to to unless to exists (EEXIST); nothing is touched when it fails.
int renameNoReplace(const std::string& from, const std::string& to);

// Opens (creating or emptying) a log file for writing: never through a link (ELOOP), never a
// FIFO, device or folder (ENXIO, EISDIR): the open cannot block. Returns the descriptor or
// -errno.
int openLogFile(const std::string& path);

// A descriptor closed when it goes.
class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Whether path itself (not what it points to) is a symbolic link.
bool isLink(const std::string& path);

} // namespace files
