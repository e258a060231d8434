#include "pipeline/snapshot_file.h"

#include "pipeline/capture_names.h"
#include "pipeline/write_failure.h"
#include "platform/file_ops.h"
#include "platform/log_line.h"
#include "platform/path_text.h"

#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace
{

// Writes the picture under the first free capture name of that second (name and file hold the
// first likely one); 0, or the errno that stopped it, with name and file of the last try. The bytes
// go to a hidden file of unpredictable name first and take the capture's name only when complete,
// so no one watching the folder (the browser, a copy tool) sees a half-written picture. A name
// already taken (by a file, a folder or a link) is never written over or through; a file that was
// started and not finished is removed.
int writeNewFile(const platform::LocalTime& when, const std::vector<uchar>& bytes,
                 std::string& name, std::string& file)
{
    files::TempFile part = files::createTemp(file, ".part");
    if (part.fd < 0)
        return part.err;
    int err = files::writeAll(part.fd, bytes.data(), bytes.size());
    if (::close(part.fd) != 0 && err == 0)
        err = errno;
    if (err == 0)
        err = EEXIST;
    for (int n = 1; n < 1000 && err == EEXIST; ++n) {
        name = captureName(when, ".jpg", n);
        file = toUtf8(storageFile(wxString::FromUTF8(name)));
        err = files::publish(part.path, file, false);
    }
    if (err != 0)
        ::unlink(part.path.c_str());
    return err;
}

} // namespace

CaptureResult saveSnapshot(const cv::Mat& frame)
{
    ensureStorageFolder();
    const platform::LocalTime now = platform::clock().localTime();
    std::string name = freeCaptureName(now, ".jpg");
    std::string file = toUtf8(storageFile(wxString::FromUTF8(name)));
    std::vector<uchar> jpeg;
    bool encoded = false;
    try {
        encoded = !frame.empty() && cv::imencode(".jpg", frame, jpeg);
    } catch (const cv::Exception& e) {
        logLine("Screen saveSnapshot() %s\n", e.what());
    }
    CaptureResult result;
    if (!encoded) {
        logLine("Screen saveSnapshot() cannot encode %s\n", file.c_str());
        result.failure = "Not saved: the picture cannot be encoded";
    } else if (const int err = writeNewFile(now, jpeg, name, file); err != 0) {
        logLine("Screen saveSnapshot() cannot write %s: %s\n", file.c_str(), std::strerror(err));
        result.failure = "Not saved: " + writeFailureReason(err);
    } else {
        result.name = name;
        result.path = file;
        result.kept = true;
    }
    return result;
}
