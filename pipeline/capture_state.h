// The hand-over between the capture triggers (buttons, keys, the camera's own buttons) and
// the display pass that writes the snapshot and recording files. The trigger values are
// written here only, through the verbs below; everyone else reads them.
#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <functional>

// Who holds the snapshot trigger from its press to its release.
enum ButtonSource : int {
    kNoButton = 0,
    kScreenButton = 1, // the tab's snapshot button or key
    kCameraButton = 2, // the snapshot button on the camera itself
};

// The settle countdown is in settle units, not ms: each tick of the frame's timer takes
// kSettleTick off it, whatever the timer's real period.
constexpr int kSettleTick = 32;
// What a held snapshot starts the countdown at: about 16 ticks without a redraw.
constexpr int kSnapshotSettle = 500;

extern bool g_Freeze;                     // the picture stands still (a held snapshot)
extern bool g_SnapPending;                // a snapshot is saved at the next pass after the release
extern bool g_SnapInRecord;               // a snapshot of the next frame that passes
extern ButtonSource g_ButtonSource;       // who holds the snapshot trigger
extern int g_SettleTime;                  // settle units; drawing is held off while positive
extern platform::LocalTime g_CaptureTime; // what the stamp prints
extern uint32_t g_RecordStartTick;        // ms tick count at the start of the recording
extern uint32_t g_FramesWritten;          // frames in the recording so far

// A snapshot button goes down. True when the tab's snapshot press is to follow: the on-screen
// button does not take the trigger from the camera's, and the camera's does nothing while the
// picture stands still or a recording runs.
bool pressSnapshot(ButtonSource by, bool recording);
// That button goes up. The on-screen one lets a picture it holds go; the camera's only gives
// the trigger back (its tab press, made before, did the release).
void releaseSnapshot(ButtonSource by);
// The snapshot key: press and release at once, whoever held the trigger; press is the tab's.
void tapSnapshot(const std::function<void()>& press);
// The camera went away while its button may be down: its held picture goes with it.
void cameraButtonLost();

// The record trigger (button, key, the camera's button) acts only while no snapshot button
// holds the snapshot trigger.
bool recordTriggerFree();

// The tab's press while the picture stands still is the release: true when it let it go.
bool releaseStill();
// The tab has a picture to save. While the picture keeps moving (a recording, the player)
// the next frame that passes is saved; otherwise the picture stands still, drawing settles
// and the file is written at the pass after the release, stamped with the time of now.
void snapshotDue(bool keepsMoving);
// The tab leaves: a snapshot of the next frame asked for there is not taken from another.
void dropFrameSnapshot();
// The pass has taken the still picture's, or the next frame's, snapshot.
void stillSnapshotTaken();
void frameSnapshotTaken();

// One tick of the frame's timer.
void settleTick();
