#include "CaptureDevice.h"

#include "platform/foundation/Translation.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace tx {

namespace {

// The virtual cameras' native pictures; the session scales them to its preset.
constexpr const char* kVirtualVideoSize = "640x480";
constexpr int kVirtualFrameRate = 30;
constexpr int kVirtualToneHz = 440;
constexpr int kVirtualSampleRate = 44100;

std::mutex gOverrideMutex;
std::optional<std::vector<CaptureDevicePtr>>& devicesOverride() {
    static auto* value = new std::optional<std::vector<CaptureDevicePtr>>();
    return *value;
}

// V4L2 nodes that capture pictures (a camera often has a second node for metadata only).
std::vector<std::string> videoCaptureNodes() {
    std::vector<std::string> nodes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("video", 0) == 0) {
            nodes.push_back(entry.path().string());
        }
    }
    // /dev/video2 before /dev/video10.
    std::sort(nodes.begin(), nodes.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    std::vector<std::string> cameras;
    for (const auto& node : nodes) {
        const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        v4l2_capability caps{};
        if (::ioctl(fd, VIDIOC_QUERYCAP, &caps) == 0) {
            const std::uint32_t c =
                (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
            if (c & V4L2_CAP_VIDEO_CAPTURE) {
                cameras.push_back(node);
            }
        }
        ::close(fd);
    }
    return cameras;
}

// Whether a sound server listens on a Unix socket (a server that died leaves its socket behind).
bool socketAnswers(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool answers =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

// A PulseAudio server to talk to, else an ALSA card that can capture.
std::optional<CaptureDevice::Source> microphoneSource() {
    if (const char* server = std::getenv("PULSE_SERVER"); server != nullptr && *server != 0) {
        return CaptureDevice::Source{"pulse", "default", {}};
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr) {
        if (socketAnswers((std::filesystem::path(runtime) / "pulse" / "native").string())) {
            return CaptureDevice::Source{"pulse", "default", {}};
        }
    }
    std::ifstream pcm("/proc/asound/pcm");
    std::string line;
    while (std::getline(pcm, line)) {
        if (line.find("capture") != std::string::npos) {
            return CaptureDevice::Source{"alsa", "default", {}};
        }
    }
    return std::nullopt;
}

} // namespace

std::shared_ptr<CaptureDevice>
CaptureDevice::create(std::string uniqueID, std::string localizedName, std::string mediaType,
                      CaptureDevicePosition position, Source source, bool isVirtual) {
    auto device = std::make_shared<CaptureDevice>();
    device->_uniqueID = std::move(uniqueID);
    device->_localizedName = std::move(localizedName);
    device->_mediaType = std::move(mediaType);
    device->_position = position;
    device->_source = std::move(source);
    device->_isVirtual = isVirtual;
    return device;
}

std::vector<CaptureDevicePtr> CaptureDevice::virtualDevices() {
    const std::string size = kVirtualVideoSize;
    const std::string rate = std::to_string(kVirtualFrameRate);
    // Two patterns that are told apart at a glance, both moving, paced like a camera.
    const std::string back = "testsrc2=size=" + size + ":rate=" + rate + ",realtime";
    // The front one: scrolling colour bars with a white square running along the bottom.
    const std::string front = "smptehdbars=size=" + size + ":rate=" + rate +
                              ",scroll=horizontal=0.005[bars];color=c=white:s=80x80:r=" + rate +
                              "[box];[bars][box]overlay=x='mod(t*150\\,560)':y=390,realtime[out0]";
    const std::string tone = "sine=frequency=" + std::to_string(kVirtualToneHz) +
                             ":sample_rate=" + std::to_string(kVirtualSampleRate) + ",arealtime";
    return {
        create("virtual:back", _("Virtual Back Camera"), kMediaTypeVideo, CaptureDevicePosition::Back,
               {"lavfi", back, {}}, true),
        create("virtual:front", _("Virtual Front Camera"), kMediaTypeVideo,
               CaptureDevicePosition::Front, {"lavfi", front, {}}, true),
        create("virtual:microphone", _("Virtual Microphone"), kMediaTypeAudio,
               CaptureDevicePosition::Unspecified, {"lavfi", tone, {}}, true),
    };
}

void CaptureDevice::setDevicesOverride(std::optional<std::vector<CaptureDevicePtr>> devices) {
    std::lock_guard lock(gOverrideMutex);
    devicesOverride() = std::move(devices);
}

std::vector<CaptureDevicePtr> CaptureDevice::devices() {
    {
        std::lock_guard lock(gOverrideMutex);
        if (devicesOverride()) {
            return *devicesOverride();
        }
    }
    std::vector<CaptureDevicePtr> found;
    const auto cameras = videoCaptureNodes();
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        // The first camera is the back one, the second the front one, any others unplaced.
        const auto position = i == 0   ? CaptureDevicePosition::Back
                              : i == 1 ? CaptureDevicePosition::Front
                                       : CaptureDevicePosition::Unspecified;
        found.push_back(create(cameras[i], "Camera " + cameras[i], kMediaTypeVideo, position,
                               {"v4l2", cameras[i], {{"video_size", "640x480"}}}));
    }
    const auto microphone = microphoneSource();
    if (microphone) {
        found.push_back(
            create(microphone->format + ":" + microphone->url,
                   microphone->format == "pulse" ? "PulseAudio Microphone" : "ALSA Microphone",
                   kMediaTypeAudio, CaptureDevicePosition::Unspecified, *microphone));
    }
    if (cameras.empty()) {
        // The tone stands in for the microphone only where the whole camera is virtual.
        for (auto& device : virtualDevices()) {
            if (device->hasMediaType(kMediaTypeVideo) || !microphone) {
                found.push_back(device);
            }
        }
        std::stable_partition(found.begin(), found.end(),
                              [](const auto& d) { return d->hasMediaType(kMediaTypeVideo); });
    }
    return found;
}

std::vector<CaptureDevicePtr> CaptureDevice::devicesWithMediaType(const std::string& mediaType) {
    std::vector<CaptureDevicePtr> result;
    for (auto& device : devices()) {
        if (device->hasMediaType(mediaType)) {
            result.push_back(device);
        }
    }
    return result;
}

CaptureDevicePtr CaptureDevice::defaultDeviceWithMediaType(const std::string& mediaType) {
    auto all = devicesWithMediaType(mediaType);
    return all.empty() ? nullptr : all.front();
}

} // namespace tx
