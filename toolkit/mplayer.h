// The media player control: a hidden control that opens one sound or video file at a time,
// plays it and reports how each play ended.
#pragma once

#include "controls.h"

#include <memory>
#include <string>

// A sound or video that cannot be opened, or a play with nothing open. The message says why,
// in Japanese.
class EMediaError : public Exception {
public:
    using Exception::Exception;
};

// How the command that asked for a report ended.
enum TMPNotifyValues {
    nvSuccessful = 0, // it ran to its end
    nvSuperseded = 1, // a later command asked for a report first
    nvAborted = 2,    // the device was closed under it without a report being asked for
    nvFailure = 3,    // the device failed while playing
};

enum TMPModes { mpNotReady, mpStopped, mpPlaying };

// Plays files through GStreamer. At most one file (the device) is open at a time.
//
// Reports: a command "asks for a report" when Notify is on (open and close) or always (play).
// Notify is consumed by the next Open, Play or Close, whether it succeeds or not. A report
// that is still pending when another command asks for one comes back superseded. Reports
// reach NotifyValue (and then OnNotify) through the event loop, never inside the command.
//
// The enabled state is the player window's to switch and has no effect on playing.
class TMediaPlayer : public TControl {
public:
    explicit TMediaPlayer(TComponent* owner);
    // Closes the open device; no report is delivered any more.
    ~TMediaPlayer() override;

    // The file that the next Open opens (a held path; relative to the current folder).
    AnsiString FileName() const { return fileName_; }
    void SetFileName(const AnsiString& name) { fileName_ = name; }

    bool Notify() const { return notify_; }
    void SetNotify(bool value) { notify_ = value; }

    // The result of the most recent report; nvSuccessful before the first one.
    int NotifyValue() const { return notifyValue_; }

    // Closes an open device, then opens FileName and waits until it is ready to play (a
    // bounded wait). Raises EMediaError when it cannot, and then leaves nothing open.
    void Open();
    // Starts playing from the current position (from the beginning when the last play
    // reached the end) and returns at once. Raises EMediaError when nothing is open.
    void Play();
    // Closes the open device, if any. Never raises.
    void Close();

    TMPModes Mode() const;
    // The position and the length of the open media in milliseconds (0 with nothing open).
    long long Position() const;
    long long Length() const;

    // Runs after each report has been stored in NotifyValue.
    TNotifyEvent OnNotify;

    struct Device;
    struct Watch;

private:
    // The report a command asks for: an earlier pending one is superseded first.
    void AskForReport();
    // Ends the pending report with a value, if one is pending.
    void EndPendingReport(TMPNotifyValues value);
    // Delivers a report through the event loop.
    void PostReport(TMPNotifyValues value);
    void CloseDevice(TMPNotifyValues pendingBecomes);
    void StreamEvent(unsigned device, unsigned run, bool failed);
    bool TakeNotify();

    AnsiString fileName_;
    bool notify_ = false;
    int notifyValue_ = nvSuccessful;
    bool reportPending_ = false;
    unsigned devicesOpened_ = 0;
    std::unique_ptr<Device> device_;
    std::unique_ptr<Watch> watch_;
};

namespace tk {

// The sinks every device opened from now on plays into, as GStreamer element descriptions
// ("fakesink sync=true"); an empty one picks the desktop's own output. Tests use this to
// play in real time without a sound card or a video window.
void SetMediaSinks(const std::string& audioSink, const std::string& videoSink);

} // namespace tk
