// What the other screens and the application's delegate ask of the main recording screen, so that
// they need not link the shell that implements it.
#pragma once

#include <memory>

namespace tx {

class AVCaptureMgr;
class ViewController;

class MainScreen {
public:
    virtual ~MainScreen() = default;

    virtual bool isRecording() const = 0;
    // Ends a recording in progress without a sound; its end is reported like any other.
    virtual void cancelRecording() = 0;
    virtual std::shared_ptr<AVCaptureMgr> avCaptureMgr() const = 0;
    // The main screen itself, to present screens over it.
    virtual ViewController& mainViewController() = 0;
    // A recording or a render is under way (closing the window asks first).
    virtual bool isBusy() const { return isRecording(); }
    // Ends what is under way for good before the application quits: a render is cancelled
    // (no partial movie) and a recording is not rendered.
    virtual void stopForQuit() { cancelRecording(); }
};

} // namespace tx
