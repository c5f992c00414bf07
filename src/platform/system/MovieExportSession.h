// Copies a stretch of a movie into a new QuickTime file: the pictures encoded again as H.264 at
// the source's data rate, the sound as AAC, cut exactly at the ends of the stretch. Runs on the
// main run loop, a few pictures a turn, and reports how far it has come.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"

#include <functional>
#include <memory>
#include <string>

namespace tx {

enum class MovieExportStatus { Waiting, Exporting, Completed, Failed, Cancelled };

class MovieExportSession : public Object {
public:
    // `asset` must have been opened with precise timing.
    static std::shared_ptr<MovieExportSession> create(AssetPtr asset, TimeRange range,
                                                      std::string outputPath);

    const std::string& outputPath() const { return _outputPath; }
    MovieExportStatus status() const { return _status; }
    const ErrorPtr& error() const { return _error; }
    // From 0 to 1, by the pictures written.
    float progress() const { return _progress; }
    void setProgressHandler(std::function<void(float progress)> handler) {
        _progressHandler = std::move(handler);
    }

    // `completion` runs on the main run loop once the file is complete (no error) or has failed
    // (the error says why); it does not run after a cancel. A failed export leaves no file.
    void exportAsynchronously(std::function<void(const ErrorPtr& error)> completion);
    void cancelExport();

private:
    bool setUp();
    // Writes a few pictures (or sound buffers) while the input takes them.
    void feed(bool pictures);
    void finishIfDone();
    void failWith(const ErrorPtr& error);
    void release();

    AssetPtr _asset;
    TimeRange _range = TimeRange::empty();
    std::string _outputPath;
    MovieExportStatus _status = MovieExportStatus::Waiting;
    ErrorPtr _error;
    float _progress = 0;
    std::function<void(float)> _progressHandler;
    std::function<void(const ErrorPtr&)> _completion;

    AssetWriterPtr _writer;
    AssetWriterInputPtr _videoInput;
    AssetWriterInputPtr _audioInput;
    PixelBufferAdaptorPtr _adaptor;
    AssetReaderPtr _videoReader;
    AssetReaderPtr _audioReader;
    AssetReaderTrackOutputPtr _videoOutput;
    AssetReaderTrackOutputPtr _audioOutput;
    bool _videoDone = false;
    bool _audioDone = true;
    bool _sessionStarted = false;
};

using MovieExportSessionPtr = std::shared_ptr<MovieExportSession>;

} // namespace tx
