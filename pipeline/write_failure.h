// Why a capture file could not be written, in the words the notice label shows.
#pragma once

#include <string>

// The user's reason for an errno from creating or writing a file in the storage folder:
// "the folder is read-only", "the folder is gone", "the disk is full", ...
std::string writeFailureReason(int err);
