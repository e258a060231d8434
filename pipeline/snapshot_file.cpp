#include "pipeline/snapshot_file.h"

#include "app/browse_panel_base.h"
#include "app/data_files.h"
#include "app/notice.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "pipeline/capture_names.h"
#include "pipeline/write_failure.h"

#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace
{

// Gives the finished file its name unless the name is taken; 0, or an errno. Folders that
// keep no hard links (FAT on a memory card) get a rename after a look at the name.
int publish(const std::string& part, const std::string& file)
{
    if (::link(part.c_str(), file.c_str()) == 0)
        return 0;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    if (::access(file.c_str(), F_OK) == 0)
        return EEXIST;
    return ::rename(part.c_str(), file.c_str()) == 0 ? 0 : errno;
}

// Writes the whole buffer to a new file; 0, or the errno that stopped it. The bytes go to a
// hidden file first and take the capture's name only when complete, so no one watching the
// folder (the browser, a copy tool) sees a half-written picture; a name already taken is
// never overwritten. A file that was started and not finished is removed.
int writeNewFile(const std::string& file, const std::vector<uchar>& bytes)
{
    const std::filesystem::path target(file);
    const std::string part =
        (target.parent_path() / ("." + target.filename().string() + ".part")).string();
    const int fd = ::open(part.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    int err = 0;
    size_t done = 0;
    while (done < bytes.size() && err == 0) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR)
            err = errno;
        else if (n == 0)
            err = EIO;
    }
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0)
        err = publish(part, file);
    ::unlink(part.c_str());
    return err;
}

} // namespace

bool saveSnapshot(const cv::Mat& frame)
{
    ensureStorageFolder();
    const std::string name = freeCaptureName(platform::clock().localTime(), ".jpg");
    const wxString path = storageFile(wxString::FromUTF8(name));
    const std::string file = toUtf8(path);
    std::vector<uchar> jpeg;
    bool encoded = false;
    try {
        encoded = !frame.empty() && cv::imencode(".jpg", frame, jpeg);
    } catch (const cv::Exception& e) {
        logLine("Screen saveSnapshot() %s\n", e.what());
    }
    bool saved = false;
    if (!encoded) {
        logLine("Screen saveSnapshot() cannot encode %s\n", file.c_str());
        showFailureNotice("Not saved: the picture cannot be encoded");
    } else if (const int err = writeNewFile(file, jpeg); err != 0) {
        logLine("Screen saveSnapshot() cannot write %s: %s\n", file.c_str(), std::strerror(err));
        showFailureNotice(wxString::FromUTF8("Not saved: " + writeFailureReason(err)));
    } else {
        saved = true;
        if (g_BrowsePanel)
            g_BrowsePanel->addFile(path);
        showNotice(wxString::FromUTF8(name));
    }
    if (g_CurrentState)
        g_CurrentState->snapshotRelease();
    return saved;
}
