#include "pipeline/write_failure.h"

#include <cerrno>

std::string writeFailureReason(int err)
{
    switch (err) {
    case EROFS:
    case EACCES:
    case EPERM:
        return "the folder is read-only";
    case ENOENT:
    case ENOTDIR:
    case ESTALE:
        return "the folder is gone";
    case ENOSPC:
    case EDQUOT:
        return "the disk is full";
    case EFBIG:
        return "the file is too large";
    case EIO:
        return "the disk failed";
    default:
        return "the file cannot be written";
    }
}
