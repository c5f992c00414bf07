// taluvex-record: records a clip from the camera and microphone the way the main screen does
// (the virtual camera on a machine without one) and saves it where asked.

#include "capture/AVCaptureMgr.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Timer.h"
#include "render/AVFileRenderMgr.h"
#include "render/ReverseAheadRecorder.h"

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
constexpr int kExitUsage = 2;
constexpr double kDefaultSeconds = 3.0;
// The main screen's limit.
constexpr std::int64_t kMaxRecordedSeconds = 900;
// How often a Ctrl-C is looked for.
constexpr double kInterruptPollSeconds = 0.05;
// Past the asked length, a recording that never gets going is given up.
constexpr double kStartGraceSeconds = 5.0;

std::atomic<bool> gInterrupted{false};
// When the recording was asked to stop: the backwards movie's wait is counted from here.
std::chrono::steady_clock::time_point gStopAsked;

const char* const kUsage =
    "usage: taluvex-record [--seconds N] [--camera back|front] [--preset medium|640x480]\n"
    "                      [--backwards MOVIE [--speed 70|100|130]] OUTPUT\n"
    "\n"
    "Records N seconds (default 3, at most 900) from the camera and the microphone into the\n"
    "QuickTime movie OUTPUT: H.264 with a keyframe every second and AAC sound. Ctrl-C stops\n"
    "the recording early and keeps what was recorded. On a machine without a camera the\n"
    "virtual camera records a moving test pattern (back: colour bars and a counter; front:\n"
    "scrolling bars) with a 440 Hz tone.\n"
    "\n"
    "  --seconds N       length of the recording in seconds\n"
    "  --camera POS      back (the first camera, the default) or front (the second)\n"
    "  --preset NAME     medium (480x360, the default) or 640x480\n"
    "  --backwards MOVIE also make the backwards movie MOVIE, with the recording's own sound\n"
    "                    reversed, the way the main screen does: each second is reversed and\n"
    "                    encoded while recording, so the movie is ready soon after the end;\n"
    "                    prints how long after the end of the recording it was ready\n"
    "  --speed N         the backwards movie's speed: 70, 100 (the default) or 130\n"
    "\n"
    "Exit status: 0 saved, 1 the recording failed (the reason is printed), 2 usage error.\n";

struct Options {
    double seconds = kDefaultSeconds;
    bool front = false;
    std::string preset = kCaptureSessionPresetMedium;
    std::string output;
    std::string backwards;
    int speed = 100;
};

int usageError(const std::string& message) {
    std::cerr << "taluvex-record: " << message << "\n\n" << kUsage;
    return kExitUsage;
}

// 0 when parsed, otherwise the exit status.
int parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return -1;
        }
        if (arg == "--seconds") {
            if (!value(text)) {
                return usageError("--seconds needs a number");
            }
            char* end = nullptr;
            options.seconds = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != 0 || !(options.seconds > 0) ||
                options.seconds > static_cast<double>(kMaxRecordedSeconds)) {
                return usageError("--seconds wants a number above 0 and at most 900, not \"" +
                                  text + "\"");
            }
        } else if (arg == "--camera") {
            if (!value(text) || (text != "back" && text != "front")) {
                return usageError("--camera is back or front");
            }
            options.front = text == "front";
        } else if (arg == "--preset") {
            if (!value(text) || (text != "medium" && text != "640x480")) {
                return usageError("--preset is medium or 640x480");
            }
            options.preset =
                text == "medium" ? kCaptureSessionPresetMedium : kCaptureSessionPreset640x480;
        } else if (arg == "--backwards") {
            if (!value(options.backwards) || options.backwards.empty()) {
                return usageError("--backwards needs a MOVIE");
            }
        } else if (arg == "--speed") {
            if (!value(text) || (text != "70" && text != "100" && text != "130")) {
                return usageError("--speed is 70, 100 or 130");
            }
            options.speed = std::stoi(text);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (options.output.empty()) {
            options.output = arg;
        } else {
            return usageError("only one OUTPUT, not also " + arg);
        }
    }
    if (options.output.empty()) {
        return usageError("no OUTPUT given");
    }
    if (!options.backwards.empty() && options.backwards == options.output) {
        return usageError("MOVIE and OUTPUT must differ");
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
        std::printf("backwards %s ready %.2f s after the end of the recording (%s)\n",
                    _options.backwards.c_str(), waited,
                    _engine->usedPicturesAhead() ? "reversed while recording"
                                                 : "rendered after the recording");
        std::fflush(stdout);
        saveRecording();
    }
    void avFileRenderMgrDidError(AVFileRenderMgr*, const ErrorPtr& error) override {
        removeFile(_working);
        std::cerr << "taluvex-record: " << _options.backwards << ": "
                  << error->localizedDescription() << "\n";
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
        _engine->setInputAudioUrl(url);
        _engine->setIsReverseSpeed(true);
        _engine->setTempo(_options.speed);
        _engine->setOutputPath(_working);
        _engine->setPicturesAhead(reverseAhead);
        reverseAhead.reset();
        _engine->setDelegate(std::static_pointer_cast<Recorder>(shared_from_this()));
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
    if (!options.backwards.empty()) {
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
