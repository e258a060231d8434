// What the window shows of a snapshot's or a recording's result: the strip entry and the
// notice.
#pragma once

#include "pipeline/capture_result.h"

// A kept file in the storage folder joins the browse strip; then the notice shows the failure
// in red, or else the kept file's name. Nothing at all for a result without either.
void showCaptureResult(const CaptureResult& result);
