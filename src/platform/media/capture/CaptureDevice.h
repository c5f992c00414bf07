// The cameras and microphones Taluvex can record from: V4L2 cameras and the default PulseAudio
// or ALSA microphone through FFmpeg's libavdevice, or, on a machine without a camera, a virtual
// back and front camera (two moving test patterns) with a tone as microphone.
#pragma once

#include "platform/foundation/Object.h"
#include "platform/media/MediaTypes.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tx {

// Where a camera sits on the device.
enum class CaptureDevicePosition : int { Unspecified = 0, Back = 1, Front = 2 };

class CaptureDevice : public Object {
public:
    // What libavdevice opens: an input format ("v4l2", "pulse", "alsa", "lavfi"), the device or
    // graph, and demuxer options.
    struct Source {
        std::string format;
        std::string url;
        std::vector<std::pair<std::string, std::string>> options;
    };

    static std::shared_ptr<CaptureDevice> create(std::string uniqueID, std::string localizedName,
                                                 std::string mediaType,
                                                 CaptureDevicePosition position, Source source,
                                                 bool isVirtual = false);

    // Every device present now, cameras first.
    static std::vector<std::shared_ptr<CaptureDevice>> devices();
    static std::vector<std::shared_ptr<CaptureDevice>>
    devicesWithMediaType(const std::string& mediaType);
    static std::shared_ptr<CaptureDevice> defaultDeviceWithMediaType(const std::string& mediaType);

    // The stand-ins for a machine without a camera: back and front cameras and a microphone.
    static std::vector<std::shared_ptr<CaptureDevice>> virtualDevices();
    // Replaces what devices() finds (tests simulate machines with them); nothing restores it.
    static void
    setDevicesOverride(std::optional<std::vector<std::shared_ptr<CaptureDevice>>> devices);

    const std::string& uniqueID() const { return _uniqueID; }
    const std::string& localizedName() const { return _localizedName; }
    CaptureDevicePosition position() const { return _position; }
    bool hasMediaType(const std::string& mediaType) const { return _mediaType == mediaType; }
    const std::string& mediaType() const { return _mediaType; }
    bool isVirtual() const { return _isVirtual; }
    const Source& source() const { return _source; }

private:
    std::string _uniqueID;
    std::string _localizedName;
    std::string _mediaType;
    CaptureDevicePosition _position = CaptureDevicePosition::Unspecified;
    Source _source;
    bool _isVirtual = false;
};

using CaptureDevicePtr = std::shared_ptr<CaptureDevice>;

} // namespace tx
