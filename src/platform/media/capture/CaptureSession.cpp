#include "CaptureSession.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/capture/CaptureSource.h"
#include "platform/media/capture/MovieFileOutput.h"
#include "platform/media/capture/VideoPreviewLayer.h"

#include <algorithm>

namespace tx {

std::shared_ptr<CaptureDeviceInput>
CaptureDeviceInput::deviceInputWithDevice(const CaptureDevicePtr& device, ErrorPtr* error) {
    if (!device) {
        if (error != nullptr) {
            *error = Error::make(kCaptureErrorDomain, kCaptureErrorDeviceNotConnected,
                                 "There is no such camera or microphone.",
                                 "Connect a camera or microphone.");
        }
        return nullptr;
    }
    auto input = std::make_shared<CaptureDeviceInput>();
    input->_device = device;
    return input;
}

struct CaptureSession::Hub {
    std::mutex mutex;
    std::vector<std::weak_ptr<VideoPreviewLayer>> layers;
    std::vector<std::weak_ptr<MovieFileOutput>> outputs;

    template <typename T>
    static std::vector<std::shared_ptr<T>> live(const std::vector<std::weak_ptr<T>>& list) {
        std::vector<std::shared_ptr<T>> result;
        for (const auto& weak : list) {
            if (auto strong = weak.lock()) {
                result.push_back(std::move(strong));
            }
        }
        return result;
    }

    void picture(const PixelBufferPtr& picture, double hostSeconds) {
        std::vector<std::shared_ptr<VideoPreviewLayer>> toLayers;
        std::vector<std::shared_ptr<MovieFileOutput>> toOutputs;
        {
            std::lock_guard lock(mutex);
            toLayers = live(layers);
            toOutputs = live(outputs);
        }
        for (const auto& layer : toLayers) {
            layer->enqueuePicture(picture);
        }
        for (const auto& output : toOutputs) {
            output->capturePicture(picture, hostSeconds);
        }
    }

    void sound(const SampleBufferPtr& sample) {
        std::vector<std::shared_ptr<MovieFileOutput>> toOutputs;
        {
            std::lock_guard lock(mutex);
            toOutputs = live(outputs);
        }
        for (const auto& output : toOutputs) {
            output->captureSound(sample);
        }
    }

    void flushLayers() {
        std::vector<std::shared_ptr<VideoPreviewLayer>> toLayers;
        {
            std::lock_guard lock(mutex);
            toLayers = live(layers);
        }
        for (const auto& layer : toLayers) {
            layer->flush();
        }
    }
};

std::shared_ptr<CaptureSession> CaptureSession::create() {
    auto session = std::make_shared<CaptureSession>();
    session->_hub = std::make_shared<Hub>();
    return session;
}

CaptureSession::~CaptureSession() {
    stopSources();
    // A recording cannot outlive its session's devices.
    for (const auto& output : _outputs) {
        output->sessionDidStop();
    }
}

bool CaptureSession::canAddInput(const CaptureDeviceInputPtr& input) const {
    if (!input || !input->device()) {
        return false;
    }
    return std::none_of(_inputs.begin(), _inputs.end(), [&](const CaptureDeviceInputPtr& existing) {
        return existing == input || existing->device()->uniqueID() == input->device()->uniqueID() ||
               existing->device()->mediaType() == input->device()->mediaType();
    });
}

void CaptureSession::addInput(const CaptureDeviceInputPtr& input) {
    if (!canAddInput(input)) {
        return;
    }
    _inputs.push_back(input);
    _configurationChanged = true;
    applyConfiguration();
}

void CaptureSession::removeInput(const CaptureDeviceInputPtr& input) {
    auto it = std::find(_inputs.begin(), _inputs.end(), input);
    if (it == _inputs.end()) {
        return;
    }
    _inputs.erase(it);
    _inputErrors.erase(input.get());
    _configurationChanged = true;
    applyConfiguration();
}

bool CaptureSession::canAddOutput(const std::shared_ptr<MovieFileOutput>& output) const {
    return output && _outputs.empty();
}

void CaptureSession::addOutput(const std::shared_ptr<MovieFileOutput>& output) {
    if (!canAddOutput(output)) {
        return;
    }
    _outputs.push_back(output);
    ++_changeCount;
    output->setSession(std::static_pointer_cast<CaptureSession>(shared_from_this()));
    output->updateConnections(_inputs);
    std::lock_guard lock(_hub->mutex);
    _hub->outputs.push_back(output);
}

void CaptureSession::removeOutput(const std::shared_ptr<MovieFileOutput>& output) {
    auto it = std::find(_outputs.begin(), _outputs.end(), output);
    if (it == _outputs.end()) {
        return;
    }
    output->sessionDidStop();
    output->setSession(nullptr);
    output->updateConnections({});
    _outputs.erase(it);
    ++_changeCount;
    std::lock_guard lock(_hub->mutex);
    std::erase_if(_hub->outputs, [&](const auto& weak) { return weak.lock() == output; });
}

CapturePictureSize CaptureSession::pictureSizeForPreset(const std::string& preset) {
    if (preset == kCaptureSessionPresetMedium) {
        return {480, 360};
    }
    if (preset == kCaptureSessionPreset640x480 || preset == kCaptureSessionPresetHigh) {
        return {640, 480};
    }
    return {};
}

bool CaptureSession::canSetSessionPreset(const std::string& preset) const {
    return pictureSizeForPreset(preset).width > 0;
}

void CaptureSession::setSessionPreset(const std::string& preset) {
    if (!canSetSessionPreset(preset)) {
        return;
    }
    if (preset == _sessionPreset) {
        return;
    }
    _sessionPreset = preset;
    ++_changeCount;
    const CapturePictureSize size = pictureSizeForPreset(preset);
    for (auto& [input, source] : _sources) {
        source->setPictureSize(size.width, size.height);
    }
}

void CaptureSession::startRunning() {
    if (_running) {
        return;
    }
    _running = true;
    startSources();
    NotificationCenter::defaultCenter().post(kCaptureSessionDidStartRunningNotification,
                                             shared_from_this());
}

void CaptureSession::stopRunning() {
    if (!_running) {
        return;
    }
    stopSources();
    _running = false;
    for (const auto& output : _outputs) {
        output->sessionDidStop();
    }
    NotificationCenter::defaultCenter().post(kCaptureSessionDidStopRunningNotification,
                                             shared_from_this());
}

void CaptureSession::beginConfiguration() {
    ++_configurationDepth;
}

void CaptureSession::commitConfiguration() {
    if (_configurationDepth > 0) {
        --_configurationDepth;
    }
    applyConfiguration();
}

void CaptureSession::applyConfiguration() {
    if (_configurationDepth > 0 || !_configurationChanged) {
        return;
    }
    _configurationChanged = false;
    ++_changeCount;
    for (const auto& output : _outputs) {
        output->updateConnections(_inputs);
    }
    if (!_running) {
        return;
    }
    // Close the devices of removed inputs, open those of new ones.
    for (auto it = _sources.begin(); it != _sources.end();) {
        const bool kept = std::any_of(_inputs.begin(), _inputs.end(),
                                      [&](const auto& input) { return input.get() == it->first; });
        if (kept) {
            ++it;
        } else {
            it->second->stop();
            it = _sources.erase(it);
        }
    }
    startSources();
}

void CaptureSession::attachPreviewLayer(const std::shared_ptr<VideoPreviewLayer>& layer) {
    std::lock_guard lock(_hub->mutex);
    _hub->layers.push_back(layer);
}

bool CaptureSession::isInputLive(const CaptureDeviceInputPtr& input) const {
    return _running && input && _sources.count(input.get()) != 0;
}

ErrorPtr CaptureSession::inputError(const CaptureDeviceInputPtr& input) const {
    auto it = _inputErrors.find(input.get());
    return it == _inputErrors.end() ? nullptr : it->second;
}

double CaptureSession::videoFrameRate() const {
    for (const auto& [input, source] : _sources) {
        if (source->device()->hasMediaType(kMediaTypeVideo)) {
            return source->frameRate();
        }
    }
    return 0;
}

void CaptureSession::startSources() {
    const CapturePictureSize size = pictureSizeForPreset(_sessionPreset);
    std::weak_ptr<CaptureSession> weakSession =
        std::static_pointer_cast<CaptureSession>(shared_from_this());
    for (const auto& input : _inputs) {
        if (_sources.count(input.get()) != 0) {
            continue;
        }
        std::weak_ptr<CaptureDeviceInput> weakInput = input;
        std::weak_ptr<Hub> hub = _hub;
        CaptureSource::Sinks sinks;
        sinks.picture = [hub](const PixelBufferPtr& picture, double hostSeconds) {
            if (auto h = hub.lock()) {
                h->picture(picture, hostSeconds);
            }
        };
        sinks.sound = [hub](const SampleBufferPtr& sample) {
            if (auto h = hub.lock()) {
                h->sound(sample);
            }
        };
        sinks.failure = [weakSession, weakInput](const ErrorPtr& error) {
            RunLoop::post([weakSession, weakInput, error]() {
                auto session = weakSession.lock();
                auto input = weakInput.lock();
                if (session && input) {
                    session->inputDidFail(input, error);
                }
            });
        };
        auto source = std::make_unique<CaptureSource>(input->device(), std::move(sinks));
        source->setPictureSize(size.width, size.height);
        ErrorPtr error;
        if (source->start(&error)) {
            _inputErrors.erase(input.get());
            _sources[input.get()] = std::move(source);
        } else {
            _inputErrors[input.get()] = error;
            NotificationCenter::defaultCenter().post(kCaptureSessionRuntimeErrorNotification,
                                                     error);
        }
    }
}

void CaptureSession::stopSources() {
    for (auto& [input, source] : _sources) {
        source->stop();
    }
    _sources.clear();
    if (_hub) {
        _hub->flushLayers();
    }
}

void CaptureSession::inputDidFail(const CaptureDeviceInputPtr& input, const ErrorPtr& error) {
    auto it = _sources.find(input.get());
    if (it == _sources.end()) {
        return; // stopped or replaced meanwhile
    }
    it->second->stop();
    _sources.erase(it);
    _inputErrors[input.get()] = error;
    for (const auto& output : _outputs) {
        output->inputDidFail(input, error);
    }
    NotificationCenter::defaultCenter().post(kCaptureSessionRuntimeErrorNotification, error);
}

} // namespace tx
