// taluvex-record: records a clip from the camera and microphone the way the main screen does
// (the virtual camera on a machine without one) and saves it where asked.

#include "capture/AVCaptureMgr.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Timer.h"
#include "platform/foundation/Translation.h"
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
            return command.usageError(withArguments(
                _("--seconds wants a number above 0 and at most %1, not \"%2\""),
                {std::to_string(kMaxRecordedSeconds), text}));
        }
    }
    options.front = command.value("camera") == "front";
    options.preset = command.value("preset", "medium") == "medium" ? kCaptureSessionPresetMedium
                                                                   : kCaptureSessionPreset640x480;
    options.output = command.arguments()[0];
    options.backwards = command.value("backwards");
    if (command.isSet("backwards") && options.backwards.empty()) {
        return command.usageError(_("--backwards needs a MOVIE"));
    }
    options.speed = std::stoi(command.value("speed", "100"));
    options.mute = command.value("sound", "from-video") == "mute";
    options.after = command.isSet("after");
    if ((options.after || command.isSet("sound")) && options.backwards.empty()) {
        return command.usageError(withArguments(_("%1 goes with --backwards"),
                                                {options.after ? "--after" : "--sound"}));
    }
    if (!options.backwards.empty() && options.backwards == options.output) {
        return command.usageError(_("MOVIE and OUTPUT must differ"));
    }
    return 0;
}

// A line on standard output, at once (the benchmarks read it as it comes).
void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// A line on standard error, after the tool's name.
void complain(const std::string& line) {
    std::fprintf(stderr, "taluvex-record: %s\n", line.c_str());
}

// `value` with `places` decimals, as the C locale writes it.
std::string decimals(double value, int places) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", places, value);
    return text;
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
            complain(_options.backwards + ": " + ec.message());
            RunLoop::quit(kExitRecordingFailed);
            return;
        }
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - gStopAsked).count();
        const std::string road = _engine->usedPicturesAhead()
                                     ? (_engine->usedSoundAhead()
                                            ? _("reversed while recording, sound begun at the end")
                                            : _("reversed while recording"))
                                     : (_engine->usedSoundAhead()
                                            ? _("rendered after the recording, sound begun at the end")
                                            : _("rendered after the recording"));
        say(withArguments(_("backwards %1 ready %2 s after the end of the recording (%3)"),
                          {_options.backwards, decimals(waited, 2), road}));
        if (_reversed) {
            say(withArguments(_("reversed seconds took at most %1 MB on disk"),
                              {decimals(static_cast<double>(_reversed->peakBytes()) /
                                            (1024 * 1024),
                                        1)}));
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
        complain(_options.backwards + ": " + why);
        RunLoop::quit(kExitRecordingFailed);
    }

    void avCaptureMgrDidUpdate(AVCaptureMgr& mgr, float seconds) override {
        if (!mgr.isCapture()) {
            return;
        }
        if (_tty) {
            std::printf("\r%s", withArguments(_("recording %1 s"), {decimals(seconds, 1)}).c_str());
            std::fflush(stdout);
        } else if (static_cast<int>(seconds) > _lastWholeSecond) {
            _lastWholeSecond = static_cast<int>(seconds);
            say(withArguments(_("recording %1 s"), {std::to_string(_lastWholeSecond)}));
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
            complain(_options.backwards + ": " +
                     (why ? why->localizedDescription() : _("it cannot be rendered")));
            RunLoop::quit(kExitRecordingFailed);
        }
    }
    void saveRecording() {
        const std::string url = _captured;
        std::string why;
        if (!moveFile(url, _options.output, why)) {
            complain(withArguments(_("the recording cannot be saved as %1: %2"),
                                   {_options.output, why}));
            RunLoop::quit(kExitRecordingFailed);
            return;
        }
        say(withArguments(_("saved %1 (%2 s)"), {_options.output, decimals(_recordedSeconds, 1)}));
        RunLoop::quit(0);
    }
    void avCaptureMgrDidError(AVCaptureMgr&, const ErrorPtr& error) override {
        endLine();
        complain(describe(error));
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
        const std::string role = type == kMediaTypeVideo ? _("camera") : _("microphone");
        bool found = false;
        for (const auto& input : mgr.captureSession()->inputs()) {
            const auto& device = input->device();
            if (!device->hasMediaType(type)) {
                continue;
            }
            found = true;
            const std::string where = device->isVirtual()
                                          ? _("virtual")
                                          : device->source().format + " " + device->source().url;
            say(withArguments(_("%1: %2 (%3)"), {role, device->localizedName(), where}));
        }
        if (!found) {
            say(withArguments(_("%1: none"), {role}));
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
        complain(withArguments(_("the folder %1 does not exist"), {folder}));
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
            complain(_("there is no front camera"));
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
