// The picture pump of a render job whose pictures were encoded backwards while they were
// recorded: the groups are copied into the movie latest first, at the same evenly spaced times
// the ordinary picture pump gives its pictures, without decoding or encoding anything.
#pragma once

#include "platform/media/AssetWriter.h"
#include "render/RenderPumpHost.h"
#include "render/ReverseAheadRecorder.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tx {

class GroupPump : public std::enable_shared_from_this<GroupPump> {
public:
    // `groups` in recording order; `sourceEnd` is where the source's pictures end, the
    // reference of the progress.
    GroupPump(std::shared_ptr<RenderPumpHost> host, std::vector<ReverseAheadRecorder::Group> groups,
              float framesPerSecond, PumpPace pace, const MediaTime& sourceEnd);

    void start(const AssetWriterInputPtr& input);

private:
    void writeWhileReady(AssetWriterInput& input);

    std::shared_ptr<RenderPumpHost> _host;
    std::vector<ReverseAheadRecorder::Group> _groups;
    float _framesPerSecond = 0;
    PumpPace _pace;
    MediaTime _sourceEnd;
    // Groups not written yet: the next one is _groups[_groupsLeft - 1].
    std::size_t _groupsLeft = 0;
    std::uint32_t _picturesWritten = 0;
};

} // namespace tx
