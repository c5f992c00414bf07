#include "ReversedSoundPump.h"

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

ReversedSoundMaker::ReversedSoundMaker(PumpSource source, const MediaTime& pictureEnd,
                                       PumpPace pace)
    : _source(std::move(source)), _pace(pace), _windowStart(_source.end) {
    if (pictureEnd > _source.end) {
        _silence = pictureEnd - _source.end;
    }
}

SampleBufferPtr ReversedSoundMaker::nextSample() {
    DataBlockPtr block = _format ? takeNextBlock() : nullptr;
    while (!block) {
        _blocks.clear();
        TimeRange window;
        if (!nextWindowBackwards(_windowStart, kSoundWindowSeconds, window, _source.start)) {
            return nullptr;
        }
        readWindow(window);
        block = _format ? takeNextBlock() : nullptr;
    }
    const std::size_t length = block->dataLength();
    const AudioStreamBasicDescription& asbd = _format->streamDescription();
    const double rate = asbd.sampleRate;
    const std::uint32_t bytesPerFrame = asbd.bytesPerFrame;
    const auto seconds =
        static_cast<float>(static_cast<double>(_bytesMade) / (rate * bytesPerFrame));
    const MediaTime time = MediaTime::makeWithSeconds(seconds, kRenderTimescale);
    _bytesMade += length;
    _progress = seconds / _pace.outputSeconds();
    return SampleBuffer::createAudio(block, true, _format,
                                     static_cast<long>(length / bytesPerFrame), time);
}

ReversedSoundPump::ReversedSoundPump(std::shared_ptr<RenderPumpHost> host, PumpSource source,
                                     const MediaTime& pictureEnd, PumpPace pace)
    : _host(std::move(host)), _maker(std::move(source), pictureEnd, pace) {}

void ReversedSoundPump::start(const AssetWriterInputPtr& input) {
    auto self = shared_from_this();
    input->requestMediaDataWhenReady([self, input]() { self->writeWhileReady(*input); });
}

void ReversedSoundPump::writeWhileReady(AssetWriterInput& input) {
    bool writerGone = false;
    const PumpTurn turn;
    while (input.isReadyForMoreMediaData()) {
        if (turn.over() && _host->isWriting()) {
            start(input.sharedAs<AssetWriterInput>()); // on with it on the loop's next turn
            return;
        }
        if (!_host->isWriting()) {
            writerGone = true;
            break;
        }
        SampleBufferPtr sample = _maker.nextSample();
        if (!sample) {
            input.markAsFinished();
            _host->pumpFinished(kMediaTypeAudio);
            return;
        }
        input.appendSampleBuffer(sample);
        _host->pumpProgressed(kMediaTypeAudio, _maker.progress());
    }
    if (writerGone || _host->writerReleased()) {
        _host->pumpStopped(kMediaTypeAudio, nullptr);
    }
}

void ReversedSoundMaker::readWindow(const TimeRange& window) {
    const WindowSound sound = readReversed(window);
    if (!_format || sound.rate <= 0) {
        return;
    }
    const int channels = static_cast<int>(_format->streamDescription().channelsPerFrame);
    const bool lastWindow = !(window.start > _source.start);
    takeLeadingSilence();
    std::vector<std::int16_t> processed = changeTempo(sound, channels, lastWindow);
    fitToPicture(processed, channels, lastWindow);
    pushBlocksLatestFirst(processed, channels);
}

ReversedSoundMaker::WindowReader ReversedSoundMaker::openWindowReader(const TimeRange& window) {
    if (!_source.asset) {
        return {};
    }
    ErrorPtr error;
    auto reader = AssetReader::create(_source.asset, &error);
    if (!reader || !_source.track) {
        return {};
    }
    MediaSettings settings = PlistValue::dictionary();
    settings.set(kFormatIDKey, PlistValue::integer(kAudioFormatLinearPCM));
    // Reversal and tempo change take one or two channels: surround is folded down by the reader.
    settings.set(kNumberOfChannelsKey, PlistValue::integer(2));
    auto output = AssetReaderTrackOutput::create(_source.track, settings);
    if (reader->canAddOutput(output)) {
        reader->addOutput(output);
    }
    const MediaTime margin = MediaTime::makeWithSeconds(kSoundMarginSeconds, kRenderTimescale);
    MediaTime lead = margin;
    if (window.start < lead) {
        lead = window.start;
    }
    reader->setTimeRange(TimeRange::make(window.start - lead, window.duration + lead + margin));
    if (!reader->startReading()) {
        return {};
    }
    return {reader, output};
}

ReversedSoundMaker::WindowSound ReversedSoundMaker::readReversed(const TimeRange& window) {
    WindowSound sound;
    const auto [reader, output] = openWindowReader(window);
    if (!reader) {
        return sound;
    }
    MediaTime cursor = window.start;
    const MediaTime windowEnd = window.end();
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
        if (!_format) {
            _format = AudioFormatDescription::create(source,
                                                     layoutTagForChannels(source.channelsPerFrame),
                                                     sample->formatDescription()->magicCookie(),
                                                     sample->formatDescription()->extensions());
        }
        sound.rate = source.sampleRate;
        const std::int64_t bytesPerFrame = source.bytesPerFrame;
        const int channels = static_cast<int>(source.channelsPerFrame);
        const int outChannels = static_cast<int>(_format->streamDescription().channelsPerFrame);
        if (_framesLeft < 0) {
            _framesLeft = std::llround(_pace.outputLength.seconds() * sound.rate);
        }

        const BufferPart part = windowPartOf(p, t, cursor, windowEnd, sound.rate, bytesPerFrame,
                                             static_cast<std::int64_t>(block->dataLength()));
        if (part.gapFrames > 0) {
            // A gap before this buffer: keep the time it covers as silence.
            sound.parts.emplace_back(static_cast<std::size_t>(part.gapFrames) *
                                         static_cast<std::size_t>(outChannels),
                                     0);
        }
        cursor = p + t;
        std::vector<std::int16_t> reversed;
        appendReversedFrames(reinterpret_cast<const std::int16_t*>(block->data() + part.skip),
                             static_cast<std::size_t>(part.take / bytesPerFrame), channels,
                             reversed);
        sound.parts.push_back(std::move(reversed));
        if (part.reachesWindowEnd) {
            reader->cancelReading();
            break;
        }
    }
    return sound;
}

void ReversedSoundMaker::takeLeadingSilence() {
    // Silence comes first in the output: the picture starts where the sound has not begun yet.
    if (!(_silence > MediaTime::zero())) {
        return;
    }
    _leadingSilenceFrames =
        ReversedSoundPump::silenceFrames(_silence, _pace.tempo, _format->streamDescription());
    _silence = MediaTime::zero();
    _framesLeft -= static_cast<std::int64_t>(_leadingSilenceFrames);
}

DataBlockPtr ReversedSoundMaker::takeNextBlock() {
    if (_leadingSilenceFrames > 0) {
        return takeSilence(_leadingSilenceFrames);
    }
    if (!_blocks.empty()) {
        DataBlockPtr block = std::move(_blocks.back());
        _blocks.pop_back();
        return block;
    }
    if (_trailingSilenceFrames > 0) {
        return takeSilence(_trailingSilenceFrames);
    }
    return nullptr;
}

DataBlockPtr ReversedSoundMaker::takeSilence(std::uint64_t& frames) const {
    const std::uint64_t bytesPerFrame = _format->streamDescription().bytesPerFrame;
    if (bytesPerFrame == 0) {
        frames = 0;
        return nullptr;
    }
    const std::uint64_t take = std::min<std::uint64_t>(frames, kSilenceBlockBytes / bytesPerFrame);
    frames -= take;
    return DataBlock::create(nullptr, static_cast<std::size_t>(take * bytesPerFrame));
}

std::vector<std::int16_t> ReversedSoundMaker::changeTempo(const WindowSound& sound, int channels,
                                                          bool lastWindow) {
    // The parts in the order they are heard, through the one processor of this sound.
    _tempoProcessor.setFormat(static_cast<int>(sound.rate), channels);
    std::vector<std::int16_t> processed;
    int processedBytes = 0;
    const auto tempoChange = static_cast<float>(_pace.tempo - 100);
    for (auto it = sound.parts.rbegin(); it != sound.parts.rend(); ++it) {
        _tempoProcessor.process(tempoChange, it->data(), static_cast<int>(it->size() * 2),
                                processed, processedBytes);
    }
    if (lastWindow) {
        _tempoProcessor.flush(processed, processedBytes);
    }
    return processed;
}

void ReversedSoundMaker::fitToPicture(std::vector<std::int16_t>& processed, int channels,
                                      bool lastWindow) {
    // The sound is exactly as long as the picture: cut what reaches past it, and fill the end
    // with silence when the processor gave a little less.
    std::size_t frames = processed.size() / static_cast<std::size_t>(channels);
    const auto allowed = static_cast<std::uint64_t>(std::max<std::int64_t>(0, _framesLeft));
    if (frames > allowed) {
        frames = static_cast<std::size_t>(allowed);
    }
    processed.resize(frames * static_cast<std::size_t>(channels));
    _framesLeft -= static_cast<std::int64_t>(frames);
    if (lastWindow) {
        // The silence up to the picture's end is written a block at a time.
        _trailingSilenceFrames = static_cast<std::uint64_t>(std::max<std::int64_t>(0, _framesLeft));
        _framesLeft = 0;
    }
}

void ReversedSoundMaker::pushBlocksLatestFirst(const std::vector<std::int16_t>& processed,
                                               int channels) {
    // The blocks are written from the back of the list: the latest goes in first.
    const std::size_t blockSamples = kBlockFrames * static_cast<std::size_t>(channels);
    const std::size_t blocks = (processed.size() + blockSamples - 1) / blockSamples;
    for (std::size_t i = blocks; i-- > 0;) {
        const std::size_t from = i * blockSamples;
        const std::size_t count = std::min(blockSamples, processed.size() - from);
        _blocks.push_back(DataBlock::create(processed.data() + from, count * 2));
    }
}

std::vector<DataBlockPtr>
ReversedSoundPump::silenceBlocks(const MediaTime& duration, std::int32_t tempo,
                                 const AudioStreamBasicDescription& asbd) {
    // Whole frames of the duration as it will be heard: the sound beside it is lengthened by
    // 100/tempo, and so is the silence.
    std::vector<DataBlockPtr> blocks;
    std::uint64_t size = silenceFrames(duration, tempo, asbd) * asbd.bytesPerFrame;
    while (size > kSilenceBlockBytes) {
        blocks.push_back(DataBlock::create(nullptr, kSilenceBlockBytes));
        size -= kSilenceBlockBytes;
    }
    if (size != 0) {
        blocks.push_back(DataBlock::create(nullptr, static_cast<std::size_t>(size)));
    }
    return blocks;
}

std::uint64_t ReversedSoundPump::silenceFrames(const MediaTime& duration, std::int32_t tempo,
                                               const AudioStreamBasicDescription& asbd) {
    const double seconds = duration.seconds() * (100.0 / static_cast<double>(tempo));
    if (asbd.bytesPerFrame == 0 || tempo <= 0 || !(seconds > 0)) {
        return 0;
    }
    return static_cast<std::uint64_t>(seconds * asbd.sampleRate);
}

} // namespace tx
