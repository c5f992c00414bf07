#include "platform/media/AudioPlayer.h"

#include "platform/foundation/RunLoop.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"

#include <algorithm>
#include <cstring>

namespace tx {

namespace {

const char* const kAudioPlayerDomain = "AudioPlayer";

AudioPlayerSinkFactory& sinkFactory() {
    static auto* factory = new AudioPlayerSinkFactory();
    return *factory;
}

void setError(ErrorPtr* error, std::string text) {
    if (error != nullptr) {
        *error = Error::make(kAudioPlayerDomain, 0, std::move(text));
    }
}

AssetTrackPtr soundTrackOf(const AssetPtr& asset) {
    auto tracks = asset->tracksWithMediaType(kMediaTypeAudio);
    return tracks.empty() ? nullptr : tracks.front();
}

// The whole first sound track as interleaved 16-bit samples.
std::shared_ptr<AudioPlayerPcm> decodeSound(const AssetPtr& asset, ErrorPtr* error) {
    AssetTrackPtr track = soundTrackOf(asset);
    AssetReaderPtr reader = AssetReader::create(asset, error);
    if (!reader) {
        return nullptr;
    }
    auto output = AssetReaderTrackOutput::create(track, MediaSettings());
    reader->addOutput(output);
    if (!reader->startReading()) {
        if (error != nullptr) {
            *error = reader->error();
        }
        return nullptr;
    }
    auto pcm = std::make_shared<AudioPlayerPcm>();
    while (SampleBufferPtr buffer = output->copyNextSampleBuffer()) {
        const AudioStreamBasicDescription& format =
            buffer->formatDescription()->streamDescription();
        pcm->sampleRate = static_cast<int>(format.sampleRate);
        pcm->channels = static_cast<int>(format.channelsPerFrame);
        const DataBlockPtr& block = buffer->dataBlock();
        const std::size_t count = block->dataLength() / sizeof(std::int16_t);
        const std::size_t at = pcm->samples.size();
        pcm->samples.resize(at + count);
        std::memcpy(pcm->samples.data() + at, block->data(), count * sizeof(std::int16_t));
    }
    if (reader->status() == AssetReaderStatus::Failed) {
        if (error != nullptr) {
            *error = reader->error();
        }
        return nullptr;
    }
    if (pcm->sampleRate <= 0 || pcm->channels <= 0) {
        setError(error, asset->path() + ": the sound could not be decoded");
        return nullptr;
    }
    return pcm;
}

} // namespace

std::shared_ptr<AudioPlayer> AudioPlayer::create(const std::string& path, ErrorPtr* error) {
    AssetPtr asset = Asset::urlAsset(path, false, error);
    if (!asset) {
        return nullptr;
    }
    AssetTrackPtr track = soundTrackOf(asset);
    if (!track) {
        setError(error, path + " has no sound");
        return nullptr;
    }
    auto player = std::shared_ptr<AudioPlayer>(new AudioPlayer());
    player->_path = path;
    player->_asset = std::move(asset);
    return player;
}

AudioPlayer::~AudioPlayer() {
    if (_sink) {
        _sink->stop();
    }
}

void AudioPlayer::setSinkFactory(AudioPlayerSinkFactory factory) {
    sinkFactory() = std::move(factory);
}

void AudioPlayer::setVolume(float volume) {
    _volume = std::clamp(volume, 0.0f, 1.0f);
    if (_sink) {
        _sink->setVolume(_volume);
    }
}

bool AudioPlayer::prepareToPlay() {
    if (!_pcm) {
        _pcm = decodeSound(_asset, nullptr);
    }
    return _pcm != nullptr;
}

bool AudioPlayer::play() {
    if (_playing) {
        return true;
    }
    return playAtTime(_startSeconds);
}

bool AudioPlayer::playAtTime(double seconds) {
    if (!prepareToPlay()) {
        return false;
    }
    if (_playing) {
        pause();
    }
    if (!_sink) {
        _sink = sinkFactory() ? sinkFactory()() : makeDeviceSink();
    }
    const long frames = _pcm->frameCount();
    const long firstFrame =
        std::clamp(static_cast<long>(std::max(0.0, seconds) * _pcm->sampleRate), 0L, frames);
    _startSeconds = static_cast<double>(firstFrame) / _pcm->sampleRate;
    _startedAt = std::chrono::steady_clock::now();
    const std::uint64_t session = ++_session;
    std::weak_ptr<AudioPlayer> weakSelf = sharedAs<AudioPlayer>();
    AudioPlayerSink::FinishHandler finished = [weakSelf, session](bool successfully) {
        if (auto self = weakSelf.lock()) {
            self->sinkFinished(session, successfully);
        }
    };
    if (firstFrame >= frames && frames > 0) {
        // Nothing left to play: the end comes on the next turn, as it would from a sink.
        _playing = true;
        RunLoop::post([finished]() { finished(true); });
        return true;
    }
    _playing = firstFrame == 0
                   ? _sink->start(_pcm, _volume, std::move(finished))
                   : _sink->startAtFrame(_pcm, _volume, std::move(finished), firstFrame);
    return _playing;
}

void AudioPlayer::pause() {
    if (!_playing) {
        return;
    }
    _startSeconds = currentTime();
    ++_session;
    _playing = false;
    if (_sink) {
        _sink->stop();
    }
}

void AudioPlayer::stop() {
    ++_session;
    _playing = false;
    _startSeconds = 0;
    if (_sink) {
        _sink->stop();
    }
}

double AudioPlayer::currentTime() const {
    if (!_playing) {
        return _startSeconds;
    }
    double seconds = _sink ? _sink->position() : -1;
    if (seconds < 0) {
        seconds =
            _startSeconds +
            std::chrono::duration<double>(std::chrono::steady_clock::now() - _startedAt).count();
    }
    return _pcm ? std::min(seconds, _pcm->durationSeconds()) : seconds;
}

double AudioPlayer::duration() const {
    return _pcm ? _pcm->durationSeconds() : soundTrackOf(_asset)->timeRange().duration.seconds();
}

void AudioPlayer::sinkFinished(std::uint64_t session, bool successfully) {
    if (session != _session || !_playing) {
        return;
    }
    _playing = false;
    // The next `play` starts from the beginning again.
    _startSeconds = 0;
    // Keep this player alive through the report even if the delegate lets go of it.
    auto keep = sharedAs<AudioPlayer>();
    if (auto delegate = _delegate.lock()) {
        delegate->audioPlayerDidFinishPlaying(*this, successfully);
    }
}

} // namespace tx
