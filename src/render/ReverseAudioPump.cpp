// The reversed-sound pump: the sound read backwards in two-second windows from the end, each
// decoded buffer reversed, the whole reversed stream tempo-changed by one SoundTouch processor,
// and written on a contiguous timeline from zero.
#include "AVFileRenderMgr.h"

#include "platform/foundation/RunLoop.h"
#include "render/PumpWindow.h"

#include <algorithm>
#include <cmath>

namespace tx {

namespace {

constexpr double kSoundWindowSeconds = 2.0;
// The reader reads this much before and after a window.
constexpr double kSoundMarginSeconds = 0.2;
constexpr std::size_t kSilenceBlockBytes = 44100;
// Processed sound is handed to the writer in blocks of this many frames.
constexpr std::size_t kBlockFrames = 1024;

struct ReversePumpState {
    AudioFormatDescriptionPtr audioFormat;
    std::uint32_t bytesWritten = 0;
};

// Interleaved 16-bit frames of one or two channels, appended last frame first.
void appendReversedFrames(const std::int16_t* samples, std::size_t frames, int channels,
                          std::vector<std::int16_t>& out) {
    out.reserve(out.size() + frames * static_cast<std::size_t>(channels));
    for (std::size_t i = frames; i-- > 0;) {
        const std::int16_t* frame = samples + i * static_cast<std::size_t>(channels);
        out.insert(out.end(), frame, frame + channels);
    }
}

// The part of a decoded buffer (presentation time `p`, duration `t`, `total` bytes) that belongs
// to the window being read, given the cursor (where the window's sound read so far ends) and
// the window's end. Whole frames only.
struct BufferPart {
    std::int64_t skip = 0;      // bytes at the front that lie before the cursor
    std::int64_t take = 0;      // bytes from there that lie in the window
    std::int64_t gapFrames = 0; // frames of silence between the cursor and the buffer
    bool reachesWindowEnd = false;
};

BufferPart windowPartOf(const MediaTime& p, const MediaTime& t, const MediaTime& cursor,
                        const MediaTime& windowEnd, double rate, std::int64_t bytesPerFrame,
                        std::int64_t total) {
    BufferPart part;
    const double bytesPerSecond = rate * static_cast<double>(bytesPerFrame);
    auto k = static_cast<std::int64_t>((cursor - p).seconds() * bytesPerSecond);
    if (k < 0) {
        part.gapFrames = -k / bytesPerFrame;
        k = 0;
    }
    part.skip = k - (k % bytesPerFrame);
    std::int64_t n = 0;
    if (p + t <= windowEnd) {
        n = total - part.skip; // ends within the window: the rest of the buffer
    } else {
        // Reaches past the window's end: what lies between the cursor and that end.
        const MediaTime keep = (t - (cursor - p)) - ((p + t) - windowEnd);
        n = static_cast<std::int64_t>(keep.seconds() * bytesPerSecond);
        n -= n % bytesPerFrame;
        part.reachesWindowEnd = true;
    }
    part.take = std::clamp<std::int64_t>(n, 0, std::max<std::int64_t>(0, total - part.skip));
    return part;
}

} // namespace

void AVFileRenderMgr::processReverseAudio(const AssetWriterInputPtr& input) {
    _silenceTime = MediaTime::zero();
    if (_videoTimeValue > _audioTimeValue) {
        _silenceTime = _videoTimeValue - _audioTimeValue;
    }
    _reverseFramesLeft = -1; // known once the sound's rate is
    if (!input) {
        return;
    }
    auto state = std::make_shared<ReversePumpState>();
    auto engine = self();
    input->requestMediaDataWhenReady([engine, input, state]() {
        AVFileRenderMgr& e = *engine;
        bool writerGone = false;
        while (input->isReadyForMoreMediaData()) {
            if (!e._writer || e._writer->status() != AssetWriterStatus::Writing) {
                writerGone = true;
                break;
            }
            if (e._audioArrayBuffer.empty()) {
                TimeRange window;
                if (!nextWindowBackwards(e._audioBaseTime, kSoundWindowSeconds, window,
                                         e._audioStartTime)) {
                    input->markAsFinished();
                    e.postPumpFinish(kMediaTypeAudio);
                    return;
                }
                e.getAudioData(window, e._audioArrayBuffer, state->audioFormat, nullptr);
            }
            if (e._audioArrayBuffer.empty() || !state->audioFormat) {
                continue;
            }
            DataBlockPtr block = e._audioArrayBuffer.back();
            const std::size_t length = block->dataLength();
            const AudioStreamBasicDescription& asbd = state->audioFormat->streamDescription();
            const double rate = asbd.sampleRate;
            const std::uint32_t bytesPerFrame = asbd.bytesPerFrame;
            const auto seconds = static_cast<float>(state->bytesWritten / (rate * bytesPerFrame));
            const MediaTime time = MediaTime::makeWithSeconds(seconds, kRenderTimescale);
            state->bytesWritten += static_cast<std::uint32_t>(length);
            auto sample = SampleBuffer::createAudio(
                block, true, state->audioFormat, static_cast<long>(length / bytesPerFrame), time);
            input->appendSampleBuffer(sample);
            e._audioProgress =
                seconds / (e._videoTotalTime / (static_cast<float>(e._tempo) / 100.0f));
            e._audioArrayBuffer.pop_back();
            const float progress = e.progress();
            e.queueProgress(progress);
        }
        if (writerGone || !e._writer) {
            e.postPumpFailure(kAudioRenderErrorDomain);
        }
    });
}

void AVFileRenderMgr::getAudioData(const TimeRange& range, std::vector<DataBlockPtr>& buffer,
                                   AudioFormatDescriptionPtr& format,
                                   const MediaTime* /*baseTime*/) {
    if (!_sourceAssetAudio) {
        return;
    }
    ErrorPtr error;
    auto reader = AssetReader::create(_sourceAssetAudio, &error);
    if (!reader || !_sourceAudioTrack) {
        return;
    }
    MediaSettings settings = PlistValue::dictionary();
    settings.set(kFormatIDKey, PlistValue::integer(kAudioFormatLinearPCM));
    // Reversal and tempo change take one or two channels: surround is folded down by the reader.
    settings.set(kNumberOfChannelsKey, PlistValue::integer(2));
    auto output = AssetReaderTrackOutput::create(_sourceAudioTrack, settings);
    if (reader->canAddOutput(output)) {
        reader->addOutput(output);
    }
    const MediaTime margin = MediaTime::makeWithSeconds(kSoundMarginSeconds, kRenderTimescale);
    MediaTime lead = margin;
    if (range.start < lead) {
        lead = range.start;
    }
    reader->setTimeRange(TimeRange::make(range.start - lead, range.duration + lead + margin));
    if (!reader->startReading()) {
        return;
    }

    MediaTime cursor = range.start;
    const MediaTime windowEnd = range.end();
    // The window's buffers in the order they were decoded, each already reversed.
    std::vector<std::vector<std::int16_t>> parts;
    int outChannels = 0;
    double rate = 0;
    for (;;) {
        if (reader->status() != AssetReaderStatus::Reading) {
            break;
        }
        SampleBufferPtr sample = output->copyNextSampleBuffer();
        if (!sample) {
            reader->cancelReading();
            break;
        }
        const MediaTime p = sample->presentationTime();
        const MediaTime t = sample->duration();
        if (p + t < cursor) {
            continue;
        }
        const DataBlockPtr& block = sample->dataBlock();
        const AudioStreamBasicDescription source = sample->formatDescription()->streamDescription();
        if (!format) {
            format = AudioFormatDescription::create(source,
                                                    layoutTagForChannels(source.channelsPerFrame),
                                                    sample->formatDescription()->magicCookie(),
                                                    sample->formatDescription()->extensions());
        }
        rate = source.sampleRate;
        const std::int64_t bytesPerFrame = source.bytesPerFrame;
        const int channels = static_cast<int>(source.channelsPerFrame);
        outChannels = static_cast<int>(format->streamDescription().channelsPerFrame);
        if (_reverseFramesLeft < 0) {
            _reverseFramesLeft = std::llround(_actualVideoTime.seconds() * rate);
        }

        const BufferPart part = windowPartOf(p, t, cursor, windowEnd, rate, bytesPerFrame,
                                             static_cast<std::int64_t>(block->dataLength()));
        if (part.gapFrames > 0) {
            // A gap before this buffer: keep the time it covers as silence.
            parts.emplace_back(static_cast<std::size_t>(part.gapFrames) *
                                   static_cast<std::size_t>(outChannels),
                               0);
        }
        const std::int64_t k0 = part.skip;
        const std::int64_t n = part.take;
        const bool last = part.reachesWindowEnd;
        cursor = p + t;
        std::vector<std::int16_t> reversed;
        appendReversedFrames(reinterpret_cast<const std::int16_t*>(block->data() + k0),
                             static_cast<std::size_t>(n / bytesPerFrame), channels, reversed);
        parts.push_back(std::move(reversed));
        if (last) {
            reader->cancelReading();
            break;
        }
    }
    if (!format || rate <= 0) {
        return;
    }
    const AudioStreamBasicDescription& asbd = format->streamDescription();
    const std::size_t bytesPerFrame = asbd.bytesPerFrame;

    // Silence comes first in the output: the picture starts where the sound has not begun yet.
    std::vector<DataBlockPtr> silence;
    if (_silenceTime > MediaTime::zero()) {
        getSilenceAudioData(_silenceTime, silence, asbd);
        _silenceTime = MediaTime::zero();
        for (const auto& b : silence) {
            _reverseFramesLeft -= static_cast<std::int64_t>(b->dataLength() / bytesPerFrame);
        }
    }

    // The parts in the order they are heard, through the one processor of this sound.
    AudioProcess* process = getAudioProcess();
    process->setFormat(static_cast<int>(rate), outChannels);
    std::vector<std::int16_t> processed;
    int processedBytes = 0;
    const auto tempoChange = static_cast<float>(_tempo - 100);
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        process->process(tempoChange, it->data(), static_cast<int>(it->size() * 2), processed,
                         processedBytes);
    }
    const bool lastWindow = !(range.start > _audioStartTime);
    if (lastWindow) {
        process->flush(processed, processedBytes);
    }
    // The sound is exactly as long as the picture: cut what reaches past it, and fill the end
    // with silence when the processor gave a little less.
    std::size_t frames = processed.size() / static_cast<std::size_t>(outChannels);
    const auto allowed = static_cast<std::size_t>(std::max<std::int64_t>(0, _reverseFramesLeft));
    if (frames > allowed || lastWindow) {
        frames = lastWindow ? allowed : std::min(frames, allowed);
        processed.resize(frames * static_cast<std::size_t>(outChannels), 0);
    }
    _reverseFramesLeft -= static_cast<std::int64_t>(frames);

    // The list is written from its end: push the blocks latest first.
    const std::size_t blockSamples = kBlockFrames * static_cast<std::size_t>(outChannels);
    const std::size_t blocks = (processed.size() + blockSamples - 1) / blockSamples;
    for (std::size_t i = blocks; i-- > 0;) {
        const std::size_t from = i * blockSamples;
        const std::size_t count = std::min(blockSamples, processed.size() - from);
        buffer.push_back(DataBlock::create(processed.data() + from, count * 2));
    }
    for (auto it = silence.rbegin(); it != silence.rend(); ++it) {
        buffer.push_back(*it);
    }
}

void AVFileRenderMgr::getSilenceAudioData(const MediaTime& duration,
                                          std::vector<DataBlockPtr>& buffer,
                                          const AudioStreamBasicDescription& asbd) {
    // Whole frames of the duration as it will be heard: the sound beside it is lengthened by
    // 100/tempo, and so is the silence.
    const double seconds = duration.seconds() * (100.0 / static_cast<double>(_tempo));
    const auto bytesPerFrame = static_cast<std::uint64_t>(asbd.bytesPerFrame);
    if (bytesPerFrame == 0 || !(seconds > 0)) {
        return;
    }
    const auto frames = static_cast<std::uint64_t>(seconds * asbd.sampleRate);
    std::uint64_t size = frames * bytesPerFrame;
    while (size > kSilenceBlockBytes) {
        buffer.push_back(DataBlock::create(nullptr, kSilenceBlockBytes));
        size -= kSilenceBlockBytes;
    }
    if (size != 0) {
        buffer.push_back(DataBlock::create(nullptr, static_cast<std::size_t>(size)));
    }
}

} // namespace tx
