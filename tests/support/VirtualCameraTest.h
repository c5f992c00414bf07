// A test with the virtual camera and microphone standing in for any real device, and a capture
// manager (when the test makes one) stopped and shut down at the end.
#pragma once

#include "capture/AVCaptureMgr.h"
#include "platform/foundation/RunLoop.h"

#include <gtest/gtest.h>

#include <optional>

namespace tx::test {

class VirtualCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::ensureApplication();
        CaptureDevice::setDevicesOverride(CaptureDevice::virtualDevices());
    }
    void TearDown() override {
        if (mgr) {
            mgr->stopCapture();
            mgr->stop();
            mgr->shutdown();
        }
        CaptureDevice::setDevicesOverride(std::nullopt);
    }

    AVCaptureMgrPtr mgr;
};

} // namespace tx::test
