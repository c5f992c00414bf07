#include "AssetWriter.h"

#include "platform/foundation/Translation.h"

#include "FFmpeg.h"
#include "MediaBounds.h"
#include "TrackEncoder.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/EncodedPictureGroup.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>

namespace tx {

namespace {

// How far one input may run ahead of the others, so the file interleaves and nothing piles up.
constexpr double kInterleaveSeconds = 0.5;
constexpr double kDefaultFrameRate = 30.0;
constexpr AVRational kVideoTimeBase = kPictureEncoderTimeBase;

} // namespace

struct AssetWriterInput::Impl {
    AVStream* stream = nullptr;
    bool video = false;
    PictureEncoder pictures;
    SoundEncoder sound;
    std::deque<std::pair<ff::FramePtr, std::int64_t>> waitingPictures; // until the rate is known
    std::int64_t lastPts = AV_NOPTS_VALUE;
    // Pictures copied from groups encoded earlier, all coded like this one; no encoder then.
    EncodedPictureGroupPtr copyModel;
    int copyDecodeDelay = 0;
    bool copyStreamDescribed = false;

    // Whether the stream is described, so that the file's header can be written.
    bool isOpen() const {
        return copyModel ? copyStreamDescribed : video ? pictures.isOpen() : sound.isOpen();
    }
};

struct AssetWriter::Impl {
    ff::FormatOutputPtr format;
    bool headerWritten = false;
    std::vector<ff::PacketPtr> waitingPackets; // until every encoder is open
};

// ---- AssetWriterInput -------------------------------------------------------------------------

std::shared_ptr<AssetWriterInput> AssetWriterInput::create(const std::string& mediaType,
                                                           const MediaSettings& outputSettings,
                                                           ErrorPtr* error) {
    auto input = std::make_shared<AssetWriterInput>();
    input->_mediaType = mediaType;
    input->_settings = outputSettings;
    input->_impl = std::make_unique<Impl>();
    Impl& impl = *input->_impl;
    auto refuse = [&](const std::string& why) -> std::shared_ptr<AssetWriterInput> {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0, why);
        }
        return nullptr;
    };
    if (mediaType == kMediaTypeVideo) {
        impl.video = true;
        if (const std::string why = impl.pictures.configure(outputSettings); !why.empty()) {
            return refuse(why);
        }
        return input;
    }
    if (mediaType == kMediaTypeAudio) {
        if (const std::string why = impl.sound.configure(outputSettings); !why.empty()) {
            return refuse(why);
        }
        return input;
    }
    return refuse(withArguments(_("unknown media type \"%1\""), {mediaType}));
}

AssetWriterInput::~AssetWriterInput() = default;

bool AssetWriterInput::isReadyForMoreMediaData() const {
    auto writer = _writer.lock();
    if (!writer || _finished) {
        return false;
    }
    if (writer->status() == AssetWriterStatus::Failed) {
        return !_failureReported;
    }
    if (writer->status() != AssetWriterStatus::Writing) {
        return false;
    }
    for (const auto& other : writer->inputs()) {
        if (other.get() == this || other->_finished || (!other->_block && !other->_appendedAny)) {
            continue;
        }
        if (_lastSeconds > other->_lastSeconds + kInterleaveSeconds) {
            return false;
        }
    }
    return true;
}

void AssetWriterInput::requestMediaDataWhenReady(std::function<void()> block) {
    _block = std::move(block);
    if (auto writer = _writer.lock()) {
        writer->scheduleRequests();
    }
}

void AssetWriterInput::markAsFinished() {
    if (_finished) {
        return;
    }
    _finished = true;
    if (auto writer = _writer.lock()) {
        writer->_progressSinceLastPass = true;
        writer->scheduleRequests();
    }
}

// ---- AssetWriter: encoders and muxing --------------------------------------------------------

static int writePacket(AssetWriter::Impl& impl, AVPacket* packet) {
    if (!impl.headerWritten) {
        ff::PacketPtr copy = ff::makePacket();
        av_packet_ref(copy.get(), packet);
        impl.waitingPackets.push_back(std::move(copy));
        return 0;
    }
    return av_interleaved_write_frame(impl.format.get(), packet);
}

static bool globalHeader(const AssetWriter::Impl& impl) {
    return (impl.format->oformat->flags & AVFMT_GLOBALHEADER) != 0;
}

// Writes the header once every encoder is open, then what waited for it.
static int writeHeaderWhenReady(AssetWriter& writer, AssetWriter::Impl& impl) {
    if (impl.headerWritten) {
        return 0;
    }
    for (const auto& input : writer.inputs()) {
        if (!input->impl().isOpen()) {
            return 0;
        }
    }
    int ret = avformat_write_header(impl.format.get(), nullptr);
    if (ret < 0) {
        return ret;
    }
    impl.headerWritten = true;
    for (auto& packet : impl.waitingPackets) {
        ret = av_interleaved_write_frame(impl.format.get(), packet.get());
        if (ret < 0) {
            return ret;
        }
    }
    impl.waitingPackets.clear();
    return 0;
}

// A picture's time from the session start in the writer's picture time base; AV_NOPTS_VALUE
// when it is not a number.
static std::int64_t pictureTicks(const MediaTime& time, const MediaTime& sessionStart) {
    const MediaTime relative = time - sessionStart;
    if (!relative.isNumeric()) {
        return AV_NOPTS_VALUE;
    }
    return av_rescale(relative.value, kVideoTimeBase.den,
                      static_cast<std::int64_t>(relative.timescale) * kVideoTimeBase.num);
}

bool AssetWriterInput::appendPicture(const PixelBufferPtr& picture, const MediaTime& time) {
    auto writer = _writer.lock();
    if (!writer || writer->status() != AssetWriterStatus::Writing || _finished || !picture ||
        _mediaType != kMediaTypeVideo) {
        return false;
    }
    Impl& impl = *_impl;
    AssetWriter::Impl& out = *writer->_impl;
    const std::int64_t pts = pictureTicks(time, writer->_sessionStart);
    if (pts == AV_NOPTS_VALUE) {
        return false;
    }
    if (impl.lastPts != AV_NOPTS_VALUE && pts <= impl.lastPts) {
        return false; // pictures must move forward in time
    }

    ff::FramePtr frame = ff::makeFrame();
    if (const int ret = impl.pictures.frameFor(*picture, *frame); ret < 0) {
        writer->fail(
            ff::makeError(kMediaErrorDomain, _("cannot scale a picture"), writer->_path, ret));
        return false;
    }
    impl.lastPts = pts;
    _appendedAny = true;
    _lastSeconds = std::max(_lastSeconds, static_cast<double>(pts) / kVideoTimeBase.den);
    writer->_progressSinceLastPass = true;

    const PacketSink sink = [&out](AVPacket* packet) { return writePacket(out, packet); };
    int ret = 0;
    if (!impl.pictures.isOpen()) {
        // x264 wants the frame rate before the first picture: learn it from the first two.
        impl.waitingPictures.emplace_back(frame, pts);
        if (impl.waitingPictures.size() < 2) {
            return true;
        }
        const double interval =
            static_cast<double>(impl.waitingPictures[1].second - impl.waitingPictures[0].second) /
            kVideoTimeBase.den;
        ret = impl.pictures.open(impl.stream, globalHeader(out),
                                 interval > 0 ? 1.0 / interval : kDefaultFrameRate);
        if (ret >= 0) {
            ret = writeHeaderWhenReady(*writer, out);
        }
        while (ret >= 0 && !impl.waitingPictures.empty()) {
            auto [waiting, waitingPts] = impl.waitingPictures.front();
            impl.waitingPictures.pop_front();
            ret = impl.pictures.encode(waiting.get(), waitingPts, sink);
        }
    } else {
        ret = impl.pictures.encode(frame.get(), pts, sink);
    }
    if (ret < 0) {
        writer->fail(ff::makeError(kMediaErrorDomain, _("cannot encode or write pictures"),
                                   writer->_path, ret));
        return false;
    }
    return true;
}

bool AssetWriterInput::appendSampleBuffer(const SampleBufferPtr& sample) {
    auto writer = _writer.lock();
    if (!writer || writer->status() != AssetWriterStatus::Writing || _finished || !sample) {
        return false;
    }
    if (_mediaType == kMediaTypeVideo) {
        return sample->imageBuffer() &&
               appendPicture(sample->imageBuffer(), sample->presentationTime());
    }
    const auto& format = sample->formatDescription();
    const auto& block = sample->dataBlock();
    if (!format || !block) {
        return false;
    }
    const AudioStreamBasicDescription& asbd = format->streamDescription();
    if (asbd.formatID != kAudioFormatLinearPCM || asbd.bitsPerChannel != 16 ||
        asbd.channelsPerFrame == 0 || asbd.sampleRate <= 0) {
        return false;
    }
    Impl& impl = *_impl;
    AssetWriter::Impl& out = *writer->_impl;
    const int inRate = static_cast<int>(asbd.sampleRate);
    const int inChannels = static_cast<int>(asbd.channelsPerFrame);
    if (const int ret = impl.sound.prepareFor(inRate, inChannels); ret < 0) {
        writer->fail(
            ff::makeError(kMediaErrorDomain, _("cannot convert the sound"), writer->_path, ret));
        return false;
    }
    const long frames =
        static_cast<long>(block->dataLength() / (2 * static_cast<std::size_t>(inChannels)));
    const long usable = std::min(frames, sample->numSamples() > 0 ? sample->numSamples() : frames);
    // Where the buffer belongs on the output timeline.
    const MediaTime relative = sample->presentationTime() - writer->_sessionStart;
    const int ret = impl.sound.append(block->data(), usable, relative, [&out](AVPacket* packet) {
        return writePacket(out, packet);
    });
    if (ret < 0) {
        writer->fail(ff::makeError(kMediaErrorDomain, _("cannot encode or write sound"),
                                   writer->_path, ret));
        return false;
    }
    _appendedAny = true;
    _lastSeconds = std::max(_lastSeconds, impl.sound.secondsIn());
    writer->_progressSinceLastPass = true;
    return true;
}

std::shared_ptr<AssetWriterInput>
AssetWriterInput::createForCopying(const std::shared_ptr<EncodedPictureGroup>& model,
                                   int decodeDelay, double spacingSeconds, ErrorPtr* error) {
    const AVCodecParameters* parameters = model ? model->parameters() : nullptr;
    if (parameters == nullptr || parameters->width < 2 || parameters->height < 2 ||
        decodeDelay < 0 || !(spacingSeconds > 0 && spacingSeconds <= kLongestSampleSeconds)) {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0, _("there is no group of pictures to copy from"));
        }
        return nullptr;
    }
    auto input = std::make_shared<AssetWriterInput>();
    input->_mediaType = kMediaTypeVideo;
    input->_impl = std::make_unique<Impl>();
    input->_impl->copyModel = model;
    input->_impl->copyDecodeDelay = decodeDelay;
    input->_impl->video = true;
    input->_impl->pictures.setFrameDuration(
        std::max<std::int64_t>(1, std::llround(spacingSeconds * kVideoTimeBase.den)));
    input->_impl->pictures.width = parameters->width;
    input->_impl->pictures.height = parameters->height;
    return input;
}

bool AssetWriterInput::appendEncodedGroup(const EncodedPictureGroup& group,
                                          const std::vector<MediaTime>& times) {
    auto writer = _writer.lock();
    Impl& impl = *_impl;
    const int count = group.packetCount();
    if (!writer || writer->status() != AssetWriterStatus::Writing || _finished || !impl.copyModel ||
        !group.sameFormatAs(*impl.copyModel) || count == 0 ||
        group.decodeDelay() > impl.copyDecodeDelay ||
        times.size() != static_cast<std::size_t>(count)) {
        return false;
    }
    AssetWriter::Impl& out = *writer->_impl;
    // Where each picture goes, in presentation order, in the writer's picture time base.
    std::vector<std::int64_t> outTimes;
    outTimes.reserve(times.size());
    for (const MediaTime& time : times) {
        const std::int64_t pts = pictureTicks(time, writer->_sessionStart);
        if (pts == AV_NOPTS_VALUE) {
            return false;
        }
        const std::int64_t last = outTimes.empty() ? impl.lastPts : outTimes.back();
        if (last != AV_NOPTS_VALUE && pts <= last) {
            return false; // pictures must move forward in time
        }
        outTimes.push_back(pts);
    }
    std::vector<std::int64_t> sortedPts;
    sortedPts.reserve(outTimes.size());
    for (int i = 0; i < count; ++i) {
        sortedPts.push_back(group.packet(i)->pts);
    }
    std::sort(sortedPts.begin(), sortedPts.end());
    const std::int64_t spacing =
        outTimes.size() > 1 ? outTimes[1] - outTimes[0] : impl.pictures.frameDuration();
    // The whole track decodes `delay` pictures ahead of showing: a packet is decoded at the time
    // of the picture shown `delay` places earlier, whatever the group's own (smaller) lead, so
    // decoding times rise across the groups and no picture is decoded after it is shown.
    const int delay = impl.copyDecodeDelay;
    int ret = writeHeaderWhenReady(*writer, out);
    for (int i = 0; i < count && ret >= 0; ++i) {
        const AVPacket* source = group.packet(i);
        ff::PacketPtr packet = ff::makePacket();
        ret = av_packet_ref(packet.get(), source);
        if (ret < 0) {
            break;
        }
        const auto rank = static_cast<std::size_t>(
            std::lower_bound(sortedPts.begin(), sortedPts.end(), source->pts) - sortedPts.begin());
        packet->pts = outTimes[rank];
        packet->dts = i - delay >= 0 ? outTimes[static_cast<std::size_t>(i - delay)]
                                     : outTimes.front() - (delay - i) * spacing;
        packet->duration = spacing;
        packet->stream_index = impl.stream->index;
        packet->pos = -1;
        av_packet_rescale_ts(packet.get(), kVideoTimeBase, impl.stream->time_base);
        ret = writePacket(out, packet.get());
    }
    if (ret < 0) {
        writer->fail(ff::makeError(kMediaErrorDomain, _("cannot copy pictures"), writer->_path, ret));
        return false;
    }
    impl.lastPts = outTimes.back();
    _appendedAny = true;
    _lastSeconds =
        std::max(_lastSeconds, static_cast<double>(outTimes.back() + spacing) / kVideoTimeBase.den);
    writer->_progressSinceLastPass = true;
    return true;
}

// ---- PixelBufferAdaptor ----------------------------------------------------------------------

std::shared_ptr<PixelBufferAdaptor> PixelBufferAdaptor::create(AssetWriterInputPtr input,
                                                               const MediaSettings&) {
    if (!input || input->mediaType() != kMediaTypeVideo) {
        return nullptr;
    }
    auto adaptor = std::make_shared<PixelBufferAdaptor>();
    adaptor->_input = std::move(input);
    return adaptor;
}

bool PixelBufferAdaptor::appendPixelBuffer(const PixelBufferPtr& picture,
                                           const MediaTime& presentationTime) {
    return _input->appendPicture(picture, presentationTime);
}

// ---- AssetWriter -----------------------------------------------------------------------------

std::shared_ptr<AssetWriter> AssetWriter::create(const std::string& path,
                                                 const std::string& fileType, ErrorPtr* error) {
    if (fileType != kFileTypeQuickTimeMovie) {
        if (error != nullptr) {
            *error =
                Error::make(kMediaErrorDomain, 0,
                            withArguments(_("%1: only QuickTime movies can be written"), {path}));
        }
        return nullptr;
    }
    if (path.empty()) {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0, _("no file was named to write the movie to"));
        }
        return nullptr;
    }
    ff::initialize();
    auto writer = std::make_shared<AssetWriter>();
    writer->_path = path;
    writer->_impl = std::make_unique<Impl>();
    return writer;
}

AssetWriter::~AssetWriter() {
    if (_status == AssetWriterStatus::Writing || _status == AssetWriterStatus::Unknown) {
        discardOutput();
    }
}

bool AssetWriter::canAddInput(const AssetWriterInputPtr& input) const {
    return input && _status == AssetWriterStatus::Unknown && input->_writer.expired() &&
           std::none_of(_inputs.begin(), _inputs.end(),
                        [&](const auto& existing) { return existing == input; });
}

void AssetWriter::addInput(const AssetWriterInputPtr& input) {
    if (!canAddInput(input)) {
        return;
    }
    input->_writer = std::static_pointer_cast<AssetWriter>(shared_from_this());
    _inputs.push_back(input);
}

bool AssetWriter::startWriting() {
    if (_status != AssetWriterStatus::Unknown) {
        return false;
    }
    _tempPath = hiddenWorkingPath(_path, ".partial");
    AVFormatContext* raw = nullptr;
    int ret = avformat_alloc_output_context2(&raw, nullptr, "mov", _tempPath.c_str());
    _impl->format.reset(raw);
    if (ret >= 0) {
        for (const auto& input : _inputs) {
            AssetWriterInput::Impl& in = *input->_impl;
            in.stream = avformat_new_stream(raw, nullptr);
            if (in.stream == nullptr) {
                ret = AVERROR(ENOMEM);
                break;
            }
            if (input->mediaType() == kMediaTypeVideo) {
                in.stream->time_base = kPictureStreamTimeBase;
                if (in.copyModel) {
                    ret = avcodec_parameters_copy(in.stream->codecpar, in.copyModel->parameters());
                    if (ret < 0) {
                        break;
                    }
                    in.copyStreamDescribed = true;
                }
                in.stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
                in.stream->codecpar->codec_id = AV_CODEC_ID_H264;
                in.stream->codecpar->width = in.pictures.width;
                in.stream->codecpar->height = in.pictures.height;
                const MediaTransform t = input->transform();
                if (!t.isIdentity()) {
                    auto* matrix = reinterpret_cast<std::int32_t*>(av_stream_new_side_data(
                        in.stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t)));
                    if (matrix != nullptr) {
                        constexpr double kFixed16 = 65536.0;
                        const double values[9] = {t.a, t.b, 0, t.c, t.d, 0, t.tx, t.ty, 0};
                        for (int i = 0; i < 9; ++i) {
                            matrix[i] =
                                static_cast<std::int32_t>(std::lround(values[i] * kFixed16));
                        }
                        matrix[8] = 1 << 30;
                    }
                }
            } else {
                ret = in.sound.open(in.stream, globalHeader(*_impl));
                if (ret < 0) {
                    break;
                }
            }
        }
    }
    if (ret >= 0) {
        ret = avio_open(&raw->pb, _tempPath.c_str(), AVIO_FLAG_WRITE);
    }
    if (ret >= 0) {
        _tempHold = WorkingFileHold(_tempPath);
    }
    if (ret < 0) {
        _status = AssetWriterStatus::Failed;
        _error = ff::makeError(kMediaErrorDomain, _("cannot write a movie here"), _path, ret);
        discardOutput();
        return false;
    }
    _status = AssetWriterStatus::Writing;
    scheduleRequests();
    return true;
}

void AssetWriter::startSessionAtSourceTime(const MediaTime& time) {
    _sessionStart = time;
}

void AssetWriter::fail(const ErrorPtr& error) {
    if (_status != AssetWriterStatus::Writing) {
        return;
    }
    _status = AssetWriterStatus::Failed;
    _error = error;
    discardOutput();
    // Every feeding block runs once more, sees the failure and reports it.
    scheduleRequests();
}

void AssetWriter::discardOutput() {
    // Nothing more goes into this movie: its encoders are closed without a flush, and not
    // waited for.
    for (const auto& input : _inputs) {
        input->_impl->pictures.closeInBackground();
        input->_impl->sound.closeInBackground();
    }
    if (_impl && _impl->format) {
        _impl->format.reset();
    }
    if (!_tempPath.empty()) {
        removeFile(_tempPath);
    }
    _tempHold.release();
}

bool AssetWriter::finishWriting() {
    if (_status != AssetWriterStatus::Writing) {
        for (const auto& input : _inputs) {
            input->_block = nullptr;
        }
        return false;
    }
    const PacketSink sink = [this](AVPacket* packet) { return writePacket(*_impl, packet); };
    int ret = 0;
    for (const auto& input : _inputs) {
        input->_finished = true;
        AssetWriterInput::Impl& in = *input->_impl;
        if (input->mediaType() == kMediaTypeVideo && !in.isOpen() && ret >= 0) {
            ret = in.pictures.open(in.stream, globalHeader(*_impl), kDefaultFrameRate);
            if (ret >= 0) {
                ret = writeHeaderWhenReady(*this, *_impl);
            }
            while (ret >= 0 && !in.waitingPictures.empty()) {
                auto [waiting, waitingPts] = in.waitingPictures.front();
                in.waitingPictures.pop_front();
                ret = in.pictures.encode(waiting.get(), waitingPts, sink);
            }
        }
    }
    if (ret >= 0) {
        ret = writeHeaderWhenReady(*this, *_impl);
    }
    for (const auto& input : _inputs) {
        AssetWriterInput::Impl& in = *input->_impl;
        if (ret < 0 || in.copyModel || !in.isOpen()) {
            continue; // copied pictures have no encoder to flush
        }
        ret = in.video ? in.pictures.flush(sink) : in.sound.flush(sink);
    }
    if (ret >= 0) {
        ret = av_write_trailer(_impl->format.get());
    }
    if (ret >= 0) {
        ret = avio_closep(&_impl->format->pb);
    }
    for (const auto& input : _inputs) {
        input->_block = nullptr;
    }
    if (ret >= 0 && std::rename(_tempPath.c_str(), _path.c_str()) != 0) {
        ret = AVERROR(errno);
    }
    if (ret < 0) {
        _status = AssetWriterStatus::Failed;
        _error = ff::makeError(kMediaErrorDomain, _("cannot finish the movie"), _path, ret);
        discardOutput();
        return false;
    }
    _impl->format.reset();
    _tempHold.release();
    _status = AssetWriterStatus::Completed;
    return true;
}

void AssetWriter::cancelWriting() {
    if (_status == AssetWriterStatus::Writing || _status == AssetWriterStatus::Unknown) {
        _status = AssetWriterStatus::Cancelled;
    }
    for (const auto& input : _inputs) {
        input->_block = nullptr;
    }
    discardOutput();
}

void AssetWriter::scheduleRequests() {
    if (_requestsScheduled) {
        return;
    }
    _requestsScheduled = true;
    std::weak_ptr<AssetWriter> weak = std::static_pointer_cast<AssetWriter>(shared_from_this());
    RunLoop::post([weak]() {
        if (auto writer = weak.lock()) {
            writer->runRequests();
        }
    });
}

void AssetWriter::runRequests() {
    _requestsScheduled = false;
    auto self = shared_from_this(); // a block may release the last other reference to us
    _progressSinceLastPass = false;
    const bool failed = _status == AssetWriterStatus::Failed;
    if (_status != AssetWriterStatus::Writing && !failed) {
        return;
    }
    const auto inputs = _inputs;
    for (const auto& input : inputs) {
        if (!input->_block || !input->isReadyForMoreMediaData()) {
            continue;
        }
        if (failed) {
            input->_failureReported = true;
        }
        auto block = input->_block; // the block may replace or clear itself
        block();
        if (_status != AssetWriterStatus::Writing) {
            _progressSinceLastPass = _status == AssetWriterStatus::Failed;
        }
    }
    if (_progressSinceLastPass) {
        scheduleRequests();
    }
}

} // namespace tx
