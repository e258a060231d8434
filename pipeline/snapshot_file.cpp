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
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace
{

// Writes the whole buffer to a new file; 0, or the errno that stopped it. A file that was
// started and not finished is removed: it would show in the browser as a broken capture.
int writeNewFile(const std::string& file, const std::vector<uchar>& bytes)
{
    const int fd = ::open(file.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
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
    if (err != 0)
        ::unlink(file.c_str());
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
