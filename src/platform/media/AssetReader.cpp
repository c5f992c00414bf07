#include "AssetReader.h"

#include "BackwardPictureSource.h"
#include "TrackDecoder.h"
#include "platform/foundation/Translation.h"

namespace tx {

// One read of a track: its sound straight from the decoder, its pictures through the source
// that knows how the reads before it went.
struct AssetReaderTrackOutput::Impl {
    std::unique_ptr<TrackDecoder> sound;
    std::unique_ptr<BackwardPictureSource> pictures;
    bool done = false;

    bool open(const AssetTrack& track, const std::string& path, int maxChannels,
              const TimeRange& range, const TimeRange& following, ErrorPtr* error) {
        if (track.mediaType() == kMediaTypeVideo) {
            pictures = std::make_unique<BackwardPictureSource>(path, track);
            return pictures->open(range, following, error);
        }
        // Sound buffers that overlap the range.
        const AVRational tb{track.timeBaseNum(), track.timeBaseDen()};
        const std::int64_t startTs = ff::streamFromTime(range.start, tb);
        const std::int64_t endTs = range.duration.isNumeric()
                                       ? ff::streamTickAtOrAfter(range.end(), tb)
                                       : std::numeric_limits<std::int64_t>::max();
        sound = std::make_unique<TrackDecoder>(path, track, maxChannels,
                                               &track.backwardReadState().idleDecoder);
        return sound->open(startTs, endTs, error);
    }
    SampleBufferPtr next(ErrorPtr& error) {
        return pictures ? pictures->next(error) : sound->next(error);
    }
    void setDeadline(std::optional<std::chrono::steady_clock::time_point> deadline) {
        pictures ? pictures->setDeadline(deadline) : sound->setDeadline(deadline);
    }
    bool timedOut() const { return pictures ? pictures->timedOut() : sound->timedOut(); }
    void clearTimedOut() { pictures ? pictures->clearTimedOut() : sound->clearTimedOut(); }
};

std::shared_ptr<AssetReaderTrackOutput>
AssetReaderTrackOutput::create(AssetTrackPtr track, MediaSettings outputSettings) {
    if (!track) {
        return nullptr;
    }
    auto output = std::make_shared<AssetReaderTrackOutput>();
    output->_track = std::move(track);
    output->_settings = std::move(outputSettings);
    return output;
}

AssetReaderTrackOutput::~AssetReaderTrackOutput() = default;

SampleBufferPtr
AssetReaderTrackOutput::copyNextSampleBuffer(std::chrono::steady_clock::time_point deadline) {
    if (!_impl) {
        return copyNextSampleBuffer();
    }
    _impl->setDeadline(deadline);
    SampleBufferPtr sample = copyNextSampleBuffer();
    if (_impl) {
        _impl->setDeadline(std::nullopt);
    }
    return sample;
}

bool AssetReaderTrackOutput::timedOut() const {
    return _impl && _impl->timedOut();
}

SampleBufferPtr AssetReaderTrackOutput::copyNextSampleBuffer() {
    auto reader = _reader.lock();
    if (_impl) {
        _impl->clearTimedOut();
    }
    if (!reader || reader->status() != AssetReaderStatus::Reading || !_impl || _impl->done) {
        return nullptr;
    }
    Impl& impl = *_impl;
    ErrorPtr error;
    SampleBufferPtr sample = impl.next(error);
    if (!sample && impl.timedOut()) {
        return nullptr; // on from here at the next call
    }
    if (!sample) {
        impl.done = true;
        reader->outputFinished(error);
        if (!error && impl.pictures) {
            impl.pictures->finished();
        }
    }
    return sample;
}

std::shared_ptr<AssetReader> AssetReader::create(AssetPtr asset, ErrorPtr* error) {
    if (!asset) {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0, _("there is no movie to read"));
        }
        return nullptr;
    }
    auto reader = std::make_shared<AssetReader>();
    reader->_asset = std::move(asset);
    return reader;
}

bool AssetReader::canAddOutput(const AssetReaderTrackOutputPtr& output) const {
    if (!output || _status != AssetReaderStatus::Unknown || !output->_reader.expired()) {
        return false;
    }
    const auto owner = output->track()->asset();
    return owner == _asset;
}

void AssetReader::addOutput(const AssetReaderTrackOutputPtr& output) {
    if (!canAddOutput(output)) {
        return;
    }
    output->_reader = std::static_pointer_cast<AssetReader>(shared_from_this());
    _outputs.push_back(output);
}

bool AssetReader::startReading() {
    if (_status != AssetReaderStatus::Unknown) {
        return false;
    }
    if (_outputs.empty()) {
        _status = AssetReaderStatus::Failed;
        _error = Error::make(kMediaErrorDomain, 0,
                              withArguments(_("%1: nothing to read"), {_asset->path()}));
        return false;
    }
    for (const auto& output : _outputs) {
        output->_impl = std::make_unique<AssetReaderTrackOutput::Impl>();
        int maxChannels = 0;
        if (const PlistValue* channels = output->_settings.find(kNumberOfChannelsKey);
            channels != nullptr && channels->type() == PlistValue::Type::Integer) {
            maxChannels = static_cast<int>(channels->asInteger());
        }
        ErrorPtr error;
        if (!output->_impl->open(*output->track(), _asset->path(), maxChannels, _timeRange,
                                 _followingRange, &error)) {
            output->_impl.reset();
            _status = AssetReaderStatus::Failed;
            _error = error;
            return false;
        }
    }
    _status = AssetReaderStatus::Reading;
    return true;
}

void AssetReader::cancelReading() {
    if (_status == AssetReaderStatus::Reading || _status == AssetReaderStatus::Unknown) {
        _status = AssetReaderStatus::Cancelled;
    }
    for (const auto& output : _outputs) {
        output->_impl.reset();
    }
}

void AssetReader::outputFinished(const ErrorPtr& error) {
    if (_status != AssetReaderStatus::Reading) {
        return;
    }
    if (error) {
        _status = AssetReaderStatus::Failed;
        _error = error;
        return;
    }
    if (++_finishedOutputs >= _outputs.size()) {
        _status = AssetReaderStatus::Completed;
    }
}

} // namespace tx
