// taluvex-record: records a clip from the camera and microphone the way the main screen does
// (the virtual camera on a machine without one) and saves it where asked.

#include "capture/AVCaptureMgr.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Timer.h"
#include "render/AVFileRenderMgr.h"
#include "render/ReverseAheadRecorder.h"
#include "tools/record/RecordCommand.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

using namespace tx;

constexpr int kExitRecordingFailed = 1;
constexpr double kDefaultSeconds = 3.0;
// The main screen's limit.
constexpr std::int64_t kMaxRecordedSeconds = 900;
// How often a Ctrl-C is looked for.
constexpr double kInterruptPollSeconds = 0.05;
// Past the asked length, a recording that never gets going is given up.
constexpr double kStartGraceSeconds = 5.0;
// The main screen starts the backwards movie this long after the recording has ended (it shows
// its progress overlay meanwhile); the tool waits as long, so its wait is the user's.
constexpr double kRenderStartDelaySeconds = 0.5;

std::atomic<bool> gInterrupted{false};
// When the recording was asked to stop: the backwards movie's wait is counted from here.
std::chrono::steady_clock::time_point gStopAsked;

struct Options {
    double seconds = kDefaultSeconds;
    bool front = false;
    std::string preset = kCaptureSessionPresetMedium;
    std::string output;
    std::string backwards;
    int speed = 100;
    bool mute = false;
    // The backwards movie made only after the recording, not reversed while recording.
    bool after = false;
};

// 0 when parsed, otherwise the exit status (-1 after --help).
int parse(int argc, char** argv, Options& options) {
    const CommandLine command(recordCommand(), argc, argv);
    if (command.exitStatus()) {
        return *command.exitStatus() == 0 ? -1 : *command.exitStatus();
    }
    if (command.isSet("seconds")) {
        const std::string text = command.value("seconds");
        char* end = nullptr;
        options.seconds = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != 0 || !(options.seconds > 0) ||
            options.seconds > static_cast<double>(kMaxRecordedSeconds)) {
            return command.usageError("--seconds wants a number above 0 and at most 900, not \"" +
                                      text + "\"");
        }
    }
    options.front = command.value("camera") == "front";
    options.preset = command.value("preset", "medium") == "medium" ? kCaptureSessionPresetMedium
                                                                   : kCaptureSessionPreset640x480;
    options.output = command.arguments()[0];
    options.backwards = command.value("backwards");
    if (command.isSet("backwards") && options.backwards.empty()) {
        return command.usageError("--backwards needs a MOVIE");
    }
    options.speed = std::stoi(command.value("speed", "100"));
    options.mute = command.value("sound", "from-video") == "mute";
    options.after = command.isSet("after");
    if ((options.after || command.isSet("sound")) && options.backwards.empty()) {
        return command.usageError(std::string("--") + (options.after ? "after" : "sound") +
                                  " goes with --backwards");
    }
    if (!options.backwards.empty() && options.backwards == options.output) {
        return command.usageError("MOVIE and OUTPUT must differ");
    }
    return 0;
}

std::string describe(const ErrorPtr& error) {
    std::string text = error->localizedDescription();
    if (error->recoverySuggestion()) {
        text += " " + *error->recoverySuggestion();
    }
    return text;
}

// Moves the finished recording to where the user wants it, across file systems too; a copy that
// fails (a full disk) leaves nothing behind at the destination.
bool moveFile(const std::string& from, const std::string& to, std::string& why) {
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    if (!ec) {
        return true;
    }
    const std::string partial =
        pathByAppending(deletingLastPathComponent(to).empty() ? "." : deletingLastPathComponent(to),
                        "." + lastPathComponent(to) + ".partial");
    std::filesystem::copy_file(from, partial, std::filesystem::copy_options::overwrite_existing,
                               ec);
    if (!ec) {
        std::filesystem::rename(partial, to, ec);
    }
    if (ec) {
        why = ec.message();
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        return false;
    }
    std::filesystem::remove(from, ec);
    return true;
}

class Recorder : public Object, public AVCaptureMgrDelegate, public AVFileRenderMgrDelegate {
public:
    Recorder(Options options) : _options(std::move(options)), _tty(::isatty(STDOUT_FILENO) != 0) {}

    // Reversed while recording, when a backwards movie is asked for.
    ReverseAheadRecorderPtr reverseAhead;

    void avFileRenderMgrDidUpdate(AVFileRenderMgr*, float) override {}
    void avFileRenderMgrDidFinish(AVFileRenderMgr*, bool) override {
        std::error_code ec;
        std::filesystem::rename(_working, _options.backwards, ec);
        if (ec) {
            removeFile(_working);
            std::cerr << "taluvex-record: " << _options.backwards << ": " << ec.message() << "\n";
            RunLoop::quit(kExitRecordingFailed);
            return;
        }
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - gStopAsked).count();
        std::printf("backwards %s ready %.2f s after the end of the recording (%s%s)\n",
                    _options.backwards.c_str(), waited,
                    _engine->usedPicturesAhead() ? "reversed while recording"
                                                 : "rendered after the recording",
                    _engine->usedSoundAhead() ? ", sound begun at the end" : "");
        if (_reversed) {
            std::printf("reversed seconds took at most %.1f MB on disk\n",
                        static_cast<double>(_reversed->peakBytes()) / (1024 * 1024));
        }
        std::fflush(stdout);
        saveRecording();
    }
    void avFileRenderMgrDidError(AVFileRenderMgr*, const ErrorPtr& error) override {
        removeFile(_working);
        std::string why = error->localizedDescription();
        if (_engine && _engine->failureCause()) {
            why += " (" + _engine->failureCause()->localizedDescription() + ")";
        }
        std::cerr << "taluvex-record: " << _options.backwards << ": " << why << "\n";
        RunLoop::quit(kExitRecordingFailed);
    }

    void avCaptureMgrDidUpdate(AVCaptureMgr& mgr, float seconds) override {
        if (!mgr.isCapture()) {
            return;
        }
        if (_tty) {
            std::printf("\rrecording %5.1f s", seconds);
            std::fflush(stdout);
        } else if (static_cast<int>(seconds) > _lastWholeSecond) {
            _lastWholeSecond = static_cast<int>(seconds);
            std::printf("recording %d s\n", _lastWholeSecond);
            std::fflush(stdout);
        }
        if (seconds >= _options.seconds) {
            gStopAsked = std::chrono::steady_clock::now();
            mgr.stopCapture();
        }
    }
    void avCaptureMgrDidFinish(AVCaptureMgr& mgr, const std::string& url) override {
        endLine();
        _captured = url;
        _recordedSeconds = mgr.getRecordedDuration();
        if (_options.backwards.empty()) {
            saveRecording();
            return;
        }
        const std::filesystem::path target = std::filesystem::absolute(_options.backwards);
        _working = (target.parent_path() /
                    ("." + target.filename().string() + "." + uniqueString() + ".mov"))
                       .string();
        _engine = AVFileRenderMgr::create();
        _engine->setInputVideoUrl(url);
        _engine->setInputAudioUrl(_options.mute ? std::string() : url);
        _engine->setIsReverseSpeed(true);
        _engine->setTempo(_options.speed);
        _engine->setOutputPath(_working);
        _engine->setPicturesAhead(reverseAhead);
        _reversed = std::move(reverseAhead);
        _engine->setDelegate(std::static_pointer_cast<Recorder>(shared_from_this()));
        std::weak_ptr<Object> weak = weak_from_this();
        RunLoop::postAfter(kRenderStartDelaySeconds, [weak] {
            if (auto self = std::static_pointer_cast<Recorder>(weak.lock())) {
                self->startEngine();
            }
        });
        // As the main screen does: what can be made before the start is begun now.
        _engine->prepare();
    }
    void startEngine() {
        if (!_engine->start()) {
            const ErrorPtr& why = _engine->startError();
            std::cerr << "taluvex-record: " << _options.backwards << ": "
                      << (why ? why->localizedDescription() : "cannot be rendered") << "\n";
            RunLoop::quit(kExitRecordingFailed);
        }
    }
    void saveRecording() {
        const std::string url = _captured;
        std::string why;
        if (!moveFile(url, _options.output, why)) {
            std::cerr << "taluvex-record: the recording cannot be saved as " << _options.output
                      << ": " << why << "\n";
            RunLoop::quit(kExitRecordingFailed);
            return;
        }
        std::printf("saved %s (%.1f s)\n", _options.output.c_str(), _recordedSeconds);
        RunLoop::quit(0);
    }
    void avCaptureMgrDidError(AVCaptureMgr&, const ErrorPtr& error) override {
        endLine();
        std::cerr << "taluvex-record: " << describe(error) << "\n";
        RunLoop::quit(kExitRecordingFailed);
    }
    void avCaptureMgrDidChangeOrientation(AVCaptureMgr&, int) override {}

private:
    void endLine() {
        if (_tty) {
            std::printf("\n");
        }
    }
    Options _options;
    bool _tty = false;
    int _lastWholeSecond = 0;
    std::string _captured;
    float _recordedSeconds = 0;
    std::string _working;
    AVFileRenderMgrPtr _engine;
    // Handed to the engine, which removes its groups; kept for its figures.
    ReverseAheadRecorderPtr _reversed;
};

void printDevices(const AVCaptureMgr& mgr) {
    for (const std::string& type : {kMediaTypeVideo, kMediaTypeAudio}) {
        const char* role = type == kMediaTypeVideo ? "camera" : "microphone";
        bool found = false;
        for (const auto& input : mgr.captureSession()->inputs()) {
            const auto& device = input->device();
            if (!device->hasMediaType(type)) {
                continue;
            }
            found = true;
            const std::string where = device->isVirtual()
                                          ? "virtual"
                                          : device->source().format + " " + device->source().url;
            std::printf("%s: %s (%s)\n", role, device->localizedName().c_str(), where.c_str());
        }
        if (!found) {
            std::printf("%s: none\n", role);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int status = parse(argc, argv, options); status != 0) {
        return status < 0 ? 0 : status;
    }
    const std::string folder = deletingLastPathComponent(options.output);
    if (!folder.empty() && !std::filesystem::is_directory(folder)) {
        std::cerr << "taluvex-record: the folder " << folder << " does not exist\n";
        return kExitRecordingFailed;
    }

    RunLoop::ensureApplication();
    std::signal(SIGINT, [](int) { gInterrupted = true; });
    std::signal(SIGTERM, [](int) { gInterrupted = true; });

    auto recorder = std::make_shared<Recorder>(options);
    auto mgr = AVCaptureMgr::initWithPreview(nullptr, options.preset);
    mgr->setDelegate(recorder);
    mgr->setMaxRecordedDuration(kMaxRecordedSeconds);
    mgr->startup();
    if (options.front) {
        if (!AVCaptureMgr::canCamera(true)) {
            std::cerr << "taluvex-record: there is no front camera\n";
            return kExitRecordingFailed;
        }
        mgr->showCameras(true);
    }
    mgr->start();
    printDevices(*mgr);

    const std::string capturePath = pathByAppending(temporaryDirectory(), "capture.mov");
    if (!options.backwards.empty() && !options.after) {
        recorder->reverseAhead = ReverseAheadRecorder::create(options.speed);
        mgr->movieFileOutput()->setPictureTap(recorder->reverseAhead);
    }
    mgr->startCaptureWithPath(capturePath);
    auto interruptWatch = Timer::scheduled(kInterruptPollSeconds, true, [mgr](Timer&) {
        if (gInterrupted && mgr->hasUpdateTimer()) {
            gStopAsked = std::chrono::steady_clock::now();
            mgr->stopCapture();
        }
    });
    // A recording that never gets going is ended, so the tool cannot hang.
    RunLoop::postAfter(options.seconds + kStartGraceSeconds, [mgr]() { mgr->stopCapture(); });

    const int status = RunLoop::run();
    interruptWatch->invalidate();
    mgr->stopCapture();
    mgr->stop();
    mgr->shutdown();
    return status;
}
