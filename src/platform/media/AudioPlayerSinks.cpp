// The two outputs of AudioPlayer: QtMultimedia's default device, and silence kept in real time.
#include "platform/media/AudioPlayer.h"

#include "platform/foundation/RunLoop.h"

#include <algorithm>
#include <chrono>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>

namespace tx {

namespace {

// Keeps the sound's time by the wall clock, so that what follows the sound (its end, pictures
// shown against it) keeps pace where nothing can be heard.
class SilentSink : public AudioPlayerSink {
public:
    ~SilentSink() override { stop(); }

    bool start(std::shared_ptr<const AudioPlayerPcm> pcm, float volume,
               FinishHandler finished) override {
        return startAtFrame(std::move(pcm), volume, std::move(finished), 0);
    }

    bool startAtFrame(std::shared_ptr<const AudioPlayerPcm> pcm, float, FinishHandler finished,
                      long firstFrame) override {
        stop();
        const double rate = pcm->sampleRate > 0 ? pcm->sampleRate : 1;
        _firstSeconds = static_cast<double>(firstFrame) / rate;
        _endSeconds = pcm->durationSeconds();
        _startedAt = std::chrono::steady_clock::now();
        _running = true;
        _call = RunLoop::postAfter(std::max(0.0, _endSeconds - _firstSeconds),
                                   [this, finished = std::move(finished)]() {
                                       _call = 0;
                                       _running = false;
                                       finished(true);
                                   });
        return true;
    }

    double position() const override {
        if (!_running) {
            return _endSeconds;
        }
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - _startedAt).count();
        return std::min(_firstSeconds + elapsed, _endSeconds);
    }

    void stop() override {
        _running = false;
        if (_call != 0) {
            RunLoop::cancel(_call);
            _call = 0;
        }
    }

    void setVolume(float) override {}

private:
    RunLoop::DelayedCallId _call = 0;
    double _firstSeconds = 0;
    double _endSeconds = 0;
    std::chrono::steady_clock::time_point _startedAt;
    bool _running = false;
};

class DeviceSink : public AudioPlayerSink {
public:
    ~DeviceSink() override { stop(); }

    bool start(std::shared_ptr<const AudioPlayerPcm> pcm, float volume,
               FinishHandler finished) override {
        return startAtFrame(std::move(pcm), volume, std::move(finished), 0);
    }

    bool startAtFrame(std::shared_ptr<const AudioPlayerPcm> pcm, float volume,
                      FinishHandler finished, long firstFrame) override {
        stop();
        if (startDevice(pcm, volume, finished, firstFrame)) {
            return true;
        }
        // No sound server or device answered: keep time in silence so the end still comes.
        _silent = std::make_unique<SilentSink>();
        return _silent->startAtFrame(std::move(pcm), volume, std::move(finished), firstFrame);
    }

    double position() const override {
        if (_silent) {
            return _silent->position();
        }
        if (!_audio || !_pcm || _pcm->sampleRate <= 0) {
            return -1;
        }
        return _firstSeconds + static_cast<double>(_audio->processedUSecs()) / 1e6;
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
                     const FinishHandler& finished, long firstFrame) {
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
        _buffer.seek(static_cast<qint64>(firstFrame) * pcm->channels *
                     static_cast<qint64>(sizeof(std::int16_t)));
        _firstSeconds = static_cast<double>(firstFrame) / pcm->sampleRate;
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
    double _firstSeconds = 0;
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
