// The two outputs of AudioPlayer: QtMultimedia's default device, and silence kept in real time.
#include "platform/media/AudioPlayer.h"

#include "platform/foundation/RunLoop.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>

namespace tx {

namespace {

class SilentSink : public AudioPlayerSink {
public:
    ~SilentSink() override { stop(); }

    bool start(std::shared_ptr<const AudioPlayerPcm> pcm, float, FinishHandler finished) override {
        stop();
        _call = RunLoop::postAfter(pcm->durationSeconds(),
                                   [finished = std::move(finished)]() { finished(true); });
        return true;
    }

    void stop() override {
        if (_call != 0) {
            RunLoop::cancel(_call);
            _call = 0;
        }
    }

    void setVolume(float) override {}

private:
    RunLoop::DelayedCallId _call = 0;
};

class DeviceSink : public AudioPlayerSink {
public:
    ~DeviceSink() override { stop(); }

    bool start(std::shared_ptr<const AudioPlayerPcm> pcm, float volume,
               FinishHandler finished) override {
        stop();
        if (startDevice(pcm, volume, finished)) {
            return true;
        }
        // No sound server or device answered: keep time in silence so the end still comes.
        _silent = std::make_unique<SilentSink>();
        return _silent->start(std::move(pcm), volume, std::move(finished));
    }

    void stop() override {
        if (_audio) {
            QObject::disconnect(_audio.get(), nullptr, nullptr, nullptr);
            _audio->stop();
            _audio.reset();
        }
        _buffer.close();
        _pcm.reset();
        _silent.reset();
        _alive = std::make_shared<bool>(true);
    }

    void setVolume(float volume) override {
        if (_audio) {
            _audio->setVolume(volume);
        }
    }

private:
    bool startDevice(const std::shared_ptr<const AudioPlayerPcm>& pcm, float volume,
                     const FinishHandler& finished) {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) {
            return false;
        }
        QAudioFormat format;
        format.setSampleRate(pcm->sampleRate);
        format.setChannelCount(pcm->channels);
        format.setSampleFormat(QAudioFormat::Int16);
        _pcm = pcm;
        _buffer.setData(QByteArray::fromRawData(
            reinterpret_cast<const char*>(pcm->samples.data()),
            static_cast<qsizetype>(pcm->samples.size() * sizeof(std::int16_t))));
        _buffer.open(QIODevice::ReadOnly);
        _audio = std::make_unique<QAudioSink>(device, format);
        _audio->setVolume(volume);
        std::weak_ptr<bool> alive = _alive;
        QObject::connect(_audio.get(), &QAudioSink::stateChanged, _audio.get(),
                         [this, alive, finished](QAudio::State state) {
                             const bool ranOut = state == QAudio::IdleState && _buffer.atEnd();
                             const bool failed = state == QAudio::StoppedState &&
                                                 _audio->error() != QAudio::NoError;
                             if (!ranOut && !failed) {
                                 return;
                             }
                             QObject::disconnect(_audio.get(), nullptr, nullptr, nullptr);
                             // Report on a later turn: the player may drop this sink meanwhile.
                             RunLoop::post([this, alive, finished, ranOut]() {
                                 if (alive.expired()) {
                                     return;
                                 }
                                 stop();
                                 finished(ranOut);
                             });
                         });
        _audio->start(&_buffer);
        if (_audio->error() == QAudio::NoError && _audio->state() != QAudio::StoppedState) {
            return true;
        }
        stop();
        return false;
    }

    std::shared_ptr<const AudioPlayerPcm> _pcm;
    QBuffer _buffer;
    std::unique_ptr<QAudioSink> _audio;
    std::unique_ptr<SilentSink> _silent;
    // Expires when this sink stops or dies, so a queued report of an old playing is dropped.
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
};

} // namespace

std::unique_ptr<AudioPlayerSink> AudioPlayer::makeSilentSink() {
    return std::make_unique<SilentSink>();
}

std::unique_ptr<AudioPlayerSink> AudioPlayer::makeDeviceSink() {
    return std::make_unique<DeviceSink>();
}

} // namespace tx
