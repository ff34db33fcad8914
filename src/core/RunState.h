#pragma once

#include <cstdint>

// What the scan and the batches share while the program runs; all zero at start.
struct RunState
{
    // Images the last scan listed; non-zero is what lets Resize and Upload be enabled.
    double ImagesFound = 0;
    // Non-folder entries the last scan examined, images or not.
    double FilesScanned = 0;
    // Set by Cancel to stop the running scan or batch; stored as -1 for true as it always was.
    int16_t CancelRequested = 0;
    // Entries marked as over the upload size limit since the last scan.
    int16_t OverLimitCount = 0;
    // The scan's image limit, set by each scan.
    int32_t FileLimit = 0;
    // True while Resize & Upload runs.
    bool ResizeUploadActive = false;

    bool cancelRequested() const { return CancelRequested != 0; }
    void setCancelRequested(bool requested) { CancelRequested = requested ? -1 : 0; }
};
