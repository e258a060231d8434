#include "pipeline/recording_file.h"

#include "pipeline/capture_names.h"
#include "platform/file_ops.h"
#include "platform/path_text.h"

#include <cerrno>
#include <string>
#include <unistd.h>

namespace
{

// The capture name n of that second, in the storage folder.
std::string candidate(const platform::LocalTime& now, int n, std::string& name)
{
    name = captureName(now, ".avi", n);
    return toUtf8(storageFile(wxString::FromUTF8(name)));
}

// The marker holds the writer's process id, for whoever looks.
int makeMarker(const std::string& marker)
{
    const int fd = files::createNew(marker);
    if (fd < 0)
        return -fd;
    const std::string pid = std::to_string(::getpid()) + "\n";
    const int err = files::writeAll(fd, pid.data(), pid.size());
    ::close(fd);
    if (err != 0)
        ::unlink(marker.c_str());
    return err;
}

void closeFolder(RecordingDraft& draft)
{
    if (draft.folderFd < 0)
        return;
    ::rmdir(draft.folderPath.c_str());
    ::close(draft.folderFd);
    draft.folderFd = -1;
}

} // namespace

std::string recordingMarker(const std::string& aviPath)
{
    const size_t slash = aviPath.find_last_of('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    return aviPath.substr(0, start) + "." + aviPath.substr(start) + ".recording";
}

int createDraft(const std::string& firstPath, RecordingDraft& draft)
{
    draft = RecordingDraft{};
    files::TempFile folder = files::createTempFolder(firstPath, ".start");
    if (folder.fd < 0)
        return folder.err;
    draft.folderFd = folder.fd;
    draft.folderPath = folder.path;
    const size_t slash = firstPath.find_last_of('/');
    draft.inner = slash == std::string::npos ? firstPath : firstPath.substr(slash + 1);
    draft.fd = files::createNew(draftWriterPath(draft));
    if (draft.fd < 0) {
        const int err = -draft.fd;
        draft.fd = -1;
        closeFolder(draft);
        return err;
    }
    return 0;
}

std::string draftWriterPath(const RecordingDraft& draft)
{
    return files::descriptorPath(draft.folderFd) + "/" + draft.inner;
}

int nameDraft(RecordingDraft& draft, const platform::LocalTime& now, std::string& name,
              std::string& path)
{
    int err = EEXIST;
    for (int n = 1; n < 1000 && err == EEXIST; ++n) {
        path = candidate(now, n, name);
        // A marker already there belongs to a file of that name, or was left for one.
        const std::string marker = recordingMarker(path);
        err = makeMarker(marker);
        if (err != 0)
            continue;
        err = files::renameNoReplace(draftWriterPath(draft), path);
        if (err != 0)
            ::unlink(marker.c_str());
    }
    if (err != 0) {
        name.clear();
        path.clear();
        return err;
    }
    closeFolder(draft);
    return 0;
}

void dropDraft(RecordingDraft& draft)
{
    if (draft.folderFd >= 0)
        ::unlink(draftWriterPath(draft).c_str());
    closeFolder(draft);
    if (draft.fd >= 0)
        ::close(draft.fd);
    draft.fd = -1;
}
