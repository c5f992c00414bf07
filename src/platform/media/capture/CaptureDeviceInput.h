// A camera or microphone as an input of a capture session.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/media/capture/CaptureDevice.h"

#include <memory>

namespace tx {

class CaptureDeviceInput : public Object {
public:
    // An input for `device`; nothing (and the reason) when there is no device.
    static std::shared_ptr<CaptureDeviceInput> deviceInputWithDevice(const CaptureDevicePtr& device,
                                                                     ErrorPtr* error = nullptr);
    const CaptureDevicePtr& device() const { return _device; }

private:
    CaptureDevicePtr _device;
};

using CaptureDeviceInputPtr = std::shared_ptr<CaptureDeviceInput>;

} // namespace tx
