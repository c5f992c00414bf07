#include "GroupPump.h"

#include "platform/media/EncodedPictureGroup.h"
#include "render/PumpWindow.h"

namespace tx {

GroupPump::GroupPump(std::shared_ptr<RenderPumpHost> host,
                     std::vector<ReverseAheadRecorder::Group> groups, float framesPerSecond,
                     PumpPace pace, const MediaTime& sourceEnd)
    : _host(std::move(host)), _groups(std::move(groups)), _framesPerSecond(framesPerSecond),
      _pace(pace), _sourceEnd(sourceEnd), _groupsLeft(_groups.size()) {}

void GroupPump::start(const AssetWriterInputPtr& input) {
    _picturesWritten = 0;
    auto self = shared_from_this();
    input->requestMediaDataWhenReady([self, input]() { self->writeWhileReady(*input); });
}

void GroupPump::writeWhileReady(AssetWriterInput& input) {
    bool writerGone = false;
    while (input.isReadyForMoreMediaData()) {
        if (!_host->isWriting()) {
            writerGone = true;
            break;
        }
        if (_groupsLeft == 0) {
            input.markAsFinished();
            _host->pumpFinished(kMediaTypeVideo);
            return;
        }
        const ReverseAheadRecorder::Group& entry = _groups[--_groupsLeft];
        const auto group = EncodedPictureGroup::open(entry.path);
        const std::size_t count = entry.pictureSeconds.size();
        if (!group || static_cast<std::size_t>(group->pictureCount()) != count) {
            _host->pumpFailed(kMediaTypeVideo); // a group gone or damaged: no movie from it
            return;
        }
        // The times the ordinary pump would give these pictures, in single precision as it does.
        std::vector<MediaTime> times;
        times.reserve(count);
        for (std::size_t j = 0; j < count; ++j) {
            const float t = static_cast<float>(_picturesWritten + j) / _framesPerSecond /
                            (static_cast<float>(_pace.tempo) / 100.0f);
            times.push_back(MediaTime::makeWithSeconds(t, kRenderTimescale));
        }
        if (!input.appendEncodedGroup(*group, times)) {
            if (_host->isWriting()) {
                _host->pumpFailed(kMediaTypeVideo);
                return;
            }
            continue; // the writer failed: the next pass reports it
        }
        _picturesWritten += static_cast<std::uint32_t>(count);
        // Written latest first: one progress report a picture, as the ordinary pump gives.
        for (std::size_t j = count; j-- > 0;) {
            const double sourceSeconds = entry.pictureSeconds[j];
            const auto progress =
                static_cast<float>((_sourceEnd.seconds() - sourceSeconds) / _pace.pictureSeconds);
            _host->pumpProgressed(kMediaTypeVideo, progress);
        }
    }
    if (writerGone || _host->writerReleased()) {
        _host->pumpStopped(kMediaTypeVideo, nullptr);
    }
}

} // namespace tx
