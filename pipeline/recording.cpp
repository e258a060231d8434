#include "pipeline/recording.h"

#include "pipeline/capture_names.h"
#include "pipeline/capture_settings.h"
#include "pipeline/capture_state.h"
#include "pipeline/picture_settings.h"
#include "pipeline/recording_file.h"
#include "pipeline/write_failure.h"
#include "platform/file_ops.h"
#include "platform/log_line.h"
#include "platform/path_text.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

struct Session {
    std::string path;
    std::string name;
    cv::Size size;
    cv::Mat last;        // the frame written last, repeated when the file falls behind at the stop
    std::string failure; // why it stopped on its own, for the notice (empty: stopped by the user)
    // The file itself, held open: it stays the same file when its folder is renamed, and
    // keeps disk blocks reserved beyond its end for what the stop still writes.
    int fd = -1;
};
Session s_session;

// Blocks kept allocated beyond the end of the file: another program filling the disk cannot
// take the room the index needs.
constexpr off_t kIndexRoom = 4 << 20;
// What the stop writes at most beyond the last pass: buffered data, the index and header.
constexpr off_t kStopRoom = 256 << 10;

SpaceProbe s_space = files::freeSpace;

std::string storageFolder()
{
    return toUtf8(g_StoragePath);
}

CaptureResult notRecording(const std::string& reason)
{
    CaptureResult r;
    r.failure = "Not recording: " + reason;
    return r;
}

struct Trouble {
    std::string log;    // the real cause
    std::string reason; // the user's words
    bool any() const { return !reason.empty(); }
};

// Why the recording cannot go on, or nothing.
Trouble trouble()
{
    struct stat st {
    };
    // The open file, wherever its folder went; gone only when nothing links it any more.
    if (s_session.fd < 0 || ::fstat(s_session.fd, &st) != 0 || st.st_nlink == 0) {
        std::error_code ec;
        const bool folderThere = std::filesystem::is_directory(storageFolder(), ec);
        return {s_session.path + " is gone: " + std::strerror(ENOENT),
                folderThere ? "the file is gone" : writeFailureReason(ENOENT)};
    }
    const std::string now = files::currentPathOf(s_session.fd);
    const std::string folder =
        now.empty() ? storageFolder() : std::filesystem::path(now).parent_path().string();
    if (s_space(folder) < kRecordingReserve)
        return {"the disk is full", "the disk is full"};
    // One frame more, a frame's worth of catch-up at the stop, and the index must fit.
    const uint64_t perFrame = g_FramesWritten ? uint64_t(st.st_size) / g_FramesWritten : 0;
    if (files::sizeLimitRoom(st.st_size) <
        kStopRoom + (2 + kMaxCatchUp) * perFrame + 16 * (g_FramesWritten + kMaxCatchUp))
        return {"the file-size limit is reached", writeFailureReason(EFBIG)};
    // Keep the reserve ahead of the file; when the disk cannot give it, stop while the part
    // still reserved holds the index.
    if (::fallocate(s_session.fd, FALLOC_FL_KEEP_SIZE, st.st_size, kIndexRoom) != 0 &&
        errno == ENOSPC)
        return {"the disk is full", "the disk is full"};
    return {};
}

CaptureResult cannotCreate(const std::string& file, int err)
{
    logLine("Preview toggleRecord() cannot create %s: %s\n", file.c_str(), std::strerror(err));
    return notRecording(writeFailureReason(err));
}

void releaseQuietly(cv::VideoWriter& writer)
{
    try {
        writer.release();
    } catch (const cv::Exception& e) {
        logLine("Preview toggleRecord() %s\n", e.what());
    }
}

void stopFor(const std::string& logText, const std::string& reason)
{
    logLine("Screen drawFrame() recording stopped: %s\n", logText.c_str());
    s_session.failure = reason;
}

uint32_t elapsedMs()
{
    return platform::clock().tickCount() - g_RecordStartTick;
}

// A frame of another size (the camera changed under the recording) is fitted to the file.
const cv::Mat& fitted(const cv::Mat& frame, cv::Mat& scratch)
{
    if (frame.size() == s_session.size)
        return frame;
    cv::resize(frame, scratch, s_session.size, 0, 0, cv::INTER_LINEAR);
    return scratch;
}

bool write(const cv::Mat& frame, uint32_t count)
{
    try {
        for (uint32_t i = 0; i < count; ++i) {
            g_VideoWriter->write(frame);
            ++g_FramesWritten;
        }
    } catch (const cv::Exception& e) {
        stopFor(e.what(), "the encoder failed");
        return false;
    }
    return true;
}

} // namespace

uint32_t framesDue(uint32_t written, uint32_t elapsed)
{
    const uint64_t cap = (static_cast<uint64_t>(elapsed / 1000) + 1) * 15;
    if (written >= cap)
        return 0;
    // Frames whose time has come, counting the one at the start.
    const uint64_t due = static_cast<uint64_t>(elapsed) * 15 / 1000 + 1;
    uint64_t n = 1;
    if (due > written + 2)
        n = std::min<uint64_t>(due - written, kMaxCatchUp);
    return static_cast<uint32_t>(std::min<uint64_t>(n, cap - written));
}

uint32_t framesAtStop(uint32_t written, uint32_t elapsed)
{
    const uint64_t want = (static_cast<uint64_t>(elapsed) * 15 + 500) / 1000;
    return want > written ? static_cast<uint32_t>(std::min<uint64_t>(want - written, kMaxCatchUp))
                          : 0;
}

void setSpaceProbe(SpaceProbe probe)
{
    s_space = probe ? std::move(probe) : SpaceProbe(files::freeSpace);
}

std::string recordingPath()
{
    return g_VideoWriter ? s_session.path : std::string();
}

CaptureResult startRecording(const cv::Size& size, const platform::LocalTime& now)
{
    (void)finishRecording(); // the callers have finished, and shown, theirs
    if (size.width < 1 || size.height < 1)
        return {};
    ensureStorageFolder();
    const std::string first = toUtf8(storageFile(wxString::FromUTF8(captureName(now, ".avi"))));
    RecordingDraft draft;
    if (const int err = createDraft(first, draft); err != 0)
        return cannotCreate(first, err);
    std::unique_ptr<cv::VideoWriter> writer;
    try {
        writer = std::make_unique<cv::VideoWriter>(draftWriterPath(draft), cv::CAP_FFMPEG,
                                                   cv::VideoWriter::fourcc('D', 'I', 'V', 'X'),
                                                   kRecordFps, size, true);
    } catch (const cv::Exception& e) {
        logLine("Preview toggleRecord() %s\n", e.what());
        writer.reset();
    }
    if (!writer || !writer->isOpened()) {
        // The empty file would show in the browser as a broken video.
        dropDraft(draft);
        logLine("Preview toggleRecord() cannot open the writer for %s\n", first.c_str());
        return notRecording("the encoder failed");
    }
    // Reserved now that the writer has opened (and emptied) the file; not every file system
    // can, and then the free-space check alone guards the index. The check comes after it
    // (and after the folder took a file, so a read-only folder is never called full): a disk
    // that cannot hold the reserve as well would stop the recording before its first frame.
    (void)::fallocate(draft.fd, FALLOC_FL_KEEP_SIZE, 0, kIndexRoom);
    if (s_space(storageFolder()) < kRecordingReserve) {
        releaseQuietly(*writer);
        dropDraft(draft);
        logLine("Preview toggleRecord() the disk is full\n");
        return notRecording("the disk is full");
    }
    std::string chosen, file;
    if (const int err = nameDraft(draft, now, chosen, file); err != 0) {
        releaseQuietly(*writer);
        dropDraft(draft);
        if (err == EEXIST)
            return notRecording("no free file name");
        return cannotCreate(first, err);
    }
    g_VideoWriter = std::move(writer);
    s_session = Session{file, chosen, size, cv::Mat(), std::string(), draft.fd};
    g_CaptureTime = now;
    g_RecordStartTick = platform::clock().tickCount();
    g_FramesWritten = 0;
    CaptureResult started;
    started.name = chosen;
    started.path = file;
    started.kept = true;
    return started;
}

bool writeRecordingFrame(const cv::Mat& frame)
{
    if (!g_VideoWriter)
        return true;
    const Trouble why = trouble();
    if (why.any()) {
        stopFor(why.log, why.reason);
        return false;
    }
    g_CaptureTime = platform::clock().localTime();
    const uint32_t n = framesDue(g_FramesWritten, elapsedMs());
    if (n == 0 || frame.empty())
        return true;
    cv::Mat scratch;
    const cv::Mat& out = fitted(frame, scratch);
    if (!write(out, n))
        return false;
    s_session.last = out;
    return true;
}

CaptureResult finishRecording()
{
    if (!g_VideoWriter)
        return {};
    if (!s_session.last.empty() && !trouble().any())
        write(s_session.last, framesAtStop(g_FramesWritten, elapsedMs()));
    releaseQuietly(*g_VideoWriter);
    g_VideoWriter.reset();
    Session done = std::move(s_session);
    s_session = Session{};
    struct stat st {
    };
    const bool linked = ::fstat(done.fd, &st) == 0 && st.st_nlink > 0;
    const std::string now = files::currentPathOf(done.fd);
    const bool moved = linked && !now.empty() && now != done.path;
    if (moved) {
        logLine("Preview toggleRecord() %s was moved to %s\n", done.path.c_str(), now.c_str());
        done.path = now;
    }
    // A recording that never got a frame would show as a broken video: it goes, but only
    // while its name still holds this very file.
    bool removed = false;
    if (linked && g_FramesWritten == 0 && files::sameFile(done.fd, done.path))
        removed = ::unlink(done.path.c_str()) == 0;
    else if (linked)
        (void)::ftruncate(done.fd, st.st_size); // the reserve beyond the end goes back
    ::close(done.fd);
    // Closed and complete: nothing for the start-up repair to do.
    ::unlink(
        recordingMarker(std::filesystem::path(done.path).parent_path().string() + "/" + done.name)
            .c_str());
    std::error_code ec;
    const bool kept = !removed && std::filesystem::is_regular_file(done.path, ec);
    if (removed)
        logLine("Preview toggleRecord() %s had no frame: removed\n", done.path.c_str());
    else if (!kept)
        logLine("Preview toggleRecord() %s is gone\n", done.path.c_str());
    // What was written before a failure is still a playable file; one whose folder was
    // renamed is no longer in the storage folder the strip shows.
    CaptureResult result;
    result.name = done.name;
    result.kept = kept;
    if (kept && !moved)
        result.path = done.path;
    if (!done.failure.empty())
        result.failure = "Recording stopped: " + done.failure;
    return result;
}
