// Drives one render on the run loop and records what the delegate heard.
#pragma once

#include "platform/foundation/RunLoop.h"
#include "render/AVFileRenderMgr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tx::test {

class RecordingDelegate : public Object, public AVFileRenderMgrDelegate {
public:
    void avFileRenderMgrDidUpdate(AVFileRenderMgr*, float progress) override {
        updates.push_back(progress);
    }
    void avFileRenderMgrDidFinish(AVFileRenderMgr*, bool finished) override {
        ++finishes;
        finishedFlag = finished;
    }
    void avFileRenderMgrDidError(AVFileRenderMgr*, const ErrorPtr& error) override {
        errors.push_back(error);
    }
    bool ended() const { return finishes > 0 || !errors.empty(); }

    std::vector<float> updates;
    int finishes = 0;
    bool finishedFlag = false;
    std::vector<ErrorPtr> errors;
};

struct RenderRun {
    std::shared_ptr<AVFileRenderMgr> engine = AVFileRenderMgr::create();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    bool started = false;

    RenderRun(const std::string& input, const std::string& sound, bool reverse, int tempo,
              const std::string& output) {
        engine->setInputVideoUrl(input);
        engine->setInputAudioUrl(sound);
        engine->setIsReverseSpeed(reverse);
        engine->setTempo(tempo);
        engine->setOutputPath(output);
        engine->setDelegate(delegate);
    }
    // Starts and turns the run loop until the job reports its end (or `seconds` pass).
    bool runToEnd(double seconds = 60) {
        started = engine->start();
        if (!started) {
            return false;
        }
        const bool ended = RunLoop::runUntil([&] { return delegate->ended(); }, seconds);
        // Let queued progress updates and any stray second report arrive.
        RunLoop::runFor(0.05);
        return ended;
    }
};

} // namespace tx::test
