// taluvex-render: renders a movie backwards from the command line, with the same engine as the
// application.
#include "platform/foundation/Paths.h"
#include "platform/foundation/Translation.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/RunLoop.h"
#include "render/AVFileRenderMgr.h"
#include "tools/render/RenderCommand.h"

#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace tx;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitCancelled = 130;
constexpr int kBuiltInTracks = 6;
// Times given in seconds on the command line are kept to the microsecond.
constexpr std::int32_t kStretchTimescale = 1000000;

// A number of seconds from the command line (0 or more); -1 when `option` is not given, and
// nothing (after saying why) when it is not such a number.
std::optional<double> secondsOption(const CommandLine& command, const std::string& option) {
    if (!command.isSet(option)) {
        return -1.0;
    }
    const std::string v = command.value(option);
    char* end = nullptr;
    const double seconds = std::strtod(v.c_str(), &end);
    if (v.empty() || end == nullptr || *end != '\0' || !std::isfinite(seconds) || seconds < 0) {
        command.usageError(withArguments(_("--%1 must be a number of seconds, 0 or more, not \"%2\""),
                                         {option, v}));
        return std::nullopt;
    }
    return seconds;
}

std::atomic<bool> gInterrupted{false};

void onSignal(int) {
    gInterrupted = true;
}

void fail(const std::string& what) {
    std::fprintf(stderr, "taluvex-render: %s\n", what.c_str());
}

class ProgressReporter : public Object, public AVFileRenderMgrDelegate {
public:
    explicit ProgressReporter(bool terminal) : _terminal(terminal) {}

    void avFileRenderMgrDidUpdate(AVFileRenderMgr*, float progress) override {
        const int percent = std::clamp(static_cast<int>(progress * 100.0f), 0, 100);
        if (_terminal) {
            if (percent == _lastPercent) {
                return;
            }
            constexpr int kBarWidth = 40;
            const int filled = percent * kBarWidth / 100;
            std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled,
                         "########################################", kBarWidth - filled, "",
                         percent);
            std::fflush(stderr);
        } else if (percent / 10 > _lastPercent / 10) {
            std::fprintf(stderr, "%s\n",
                         withArguments(_("rendering: %1%"), {std::to_string(percent / 10 * 10)})
                             .c_str());
        }
        _lastPercent = std::max(_lastPercent, percent);
    }
    void avFileRenderMgrDidFinish(AVFileRenderMgr* mgr, bool) override {
        // Queued sound updates may still be on their way: the end is 100%.
        avFileRenderMgrDidUpdate(mgr, 1.0f);
        endLine();
        done = true;
        succeeded = true;
    }
    void avFileRenderMgrDidError(AVFileRenderMgr*, const ErrorPtr& e) override {
        endLine();
        error = e;
        done = true;
    }

    bool done = false;
    bool succeeded = false;
    ErrorPtr error;

    void endLine() {
        if (_terminal && _lastPercent >= 0) {
            std::fprintf(stderr, "\n");
        }
    }

private:
    bool _terminal = false;
    int _lastPercent = -1;
};

std::string builtInTrack(int number, std::string& problem) {
    const std::string catalogue = resourcePath("SoundTrackInfo", "plist");
    if (catalogue.empty()) {
        problem = withArguments(
            _("the built-in tracks are not installed (no SoundTrackInfo.plist in %1)"),
            {resourceDirectory()});
        return {};
    }
    ErrorPtr error;
    auto info = readPropertyList(catalogue, &error);
    const PlistValue* tracks = info ? info->find("Tracks") : nullptr;
    if (tracks == nullptr || tracks->type() != PlistValue::Type::Array ||
        static_cast<int>(tracks->asArray().size()) < number) {
        problem = withArguments(_("%1: has no track %2"), {catalogue, std::to_string(number)});
        return {};
    }
    const std::string file =
        pathByAppending(resourceDirectory(), tracks->asArray()[number - 1].asString());
    if (!fileExists(file)) {
        problem = withArguments(_("%1: built-in track %2 is missing"),
                                {file, std::to_string(number)});
        return {};
    }
    return file;
}

std::string describeSize(long long bytes) {
    char text[64];
    if (bytes >= 1024LL * 1024) {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    } else {
        std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1024.0);
    }
    return text;
}

// `text` with the hidden working file's name replaced by the output's: that is the file the user
// asked for and knows.
std::string namingTheOutput(std::string text, const std::string& working,
                            const std::string& output) {
    for (std::size_t at = text.find(working); at != std::string::npos;
         at = text.find(working, at + output.size())) {
        text.replace(at, working.size(), output);
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const CommandLine command(renderCommand(), argc, argv);
    if (command.exitStatus()) {
        return *command.exitStatus();
    }
    const int speed = std::stoi(command.value("speed", "100"));
    const std::string sound = command.value("sound", "from-video");
    const std::string input = command.arguments()[0];
    const std::string output = command.arguments()[1];
    // The stretch to render; negative: from the start, to the end.
    const std::optional<double> from = secondsOption(command, "from");
    const std::optional<double> to = secondsOption(command, "to");
    if (!from || !to) {
        return CommandLine::kExitUsage;
    }
    const double fromSeconds = *from;
    const double toSeconds = *to;
    if (fromSeconds >= 0 && toSeconds >= 0 && toSeconds <= fromSeconds) {
        return command.usageError(_("--to must be after --from"));
    }

    std::string soundFile;
    bool reverse = false;
    if (sound == "from-video") {
        soundFile = input;
        reverse = true;
    } else if (sound == "mute") {
    } else if (sound.rfind("track:", 0) == 0) {
        const std::string n = sound.substr(6);
        const int number =
            n.size() == 1 && n[0] >= '1' && n[0] <= '0' + kBuiltInTracks ? n[0] - '0' : 0;
        if (number == 0) {
            return command.usageError(
                withArguments(_("there is no built-in track \"%1\"; the tracks are 1 to 6"), {n}));
        }
        std::string problem;
        soundFile = builtInTrack(number, problem);
        if (soundFile.empty()) {
            fail(problem);
            return kExitFailed;
        }
    } else {
        soundFile = sound;
        if (!fileExists(soundFile)) {
            fail(withArguments(_("%1: no such sound file"), {soundFile}));
            return kExitFailed;
        }
    }

    if (!fileExists(input)) {
        fail(withArguments(_("%1: no such file"), {input}));
        return kExitFailed;
    }
    namespace fs = std::filesystem;
    const fs::path outPath = fs::absolute(output);
    const std::string outDir = outPath.parent_path().string();
    std::error_code ec;
    if (!fs::is_directory(outDir, ec)) {
        fail(withArguments(_("%1: the folder %2 does not exist"), {output, outDir}));
        return kExitFailed;
    }
    if (::access(outDir.c_str(), W_OK) != 0) {
        fail(withArguments(_("%1: cannot write in %2 (%3)"), {output, outDir, std::strerror(errno)}));
        return kExitFailed;
    }
    if (fs::is_directory(outPath, ec)) {
        fail(withArguments(_("%1: is a folder"), {output}));
        return kExitFailed;
    }

    RunLoop::ensureApplication();
    // The movie is made under a temporary name and takes OUTPUT's name only when complete.
    const std::string working = hiddenWorkingPath(outPath.string(), ".mov");
    auto engine = AVFileRenderMgr::create();
    auto reporter = std::make_shared<ProgressReporter>(isatty(STDERR_FILENO) != 0);
    engine->setInputVideoUrl(input);
    engine->setInputAudioUrl(soundFile);
    engine->setIsReverseSpeed(reverse);
    engine->setTempo(speed);
    engine->setOutputPath(working);
    engine->setDelegate(reporter);
    if (fromSeconds >= 0 || toSeconds >= 0) {
        const MediaTime first =
            MediaTime::makeWithSeconds(std::max(0.0, fromSeconds), kStretchTimescale);
        const MediaTime last = toSeconds >= 0
                                   ? MediaTime::makeWithSeconds(toSeconds, kStretchTimescale)
                                   : MediaTime::positiveInfinity();
        engine->setSourceTimeRange(TimeRange::make(first, last - first));
    }

    // Enough room for the movie: its estimated size, with a margin.
    AssetTrackPtr videoTrack;
    if (AVFileRenderMgr::getTrack(input, &videoTrack, nullptr) && videoTrack) {
        const TimeRange whole = videoTrack->timeRange();
        const double first = std::max(fromSeconds, whole.start.seconds());
        const double last = toSeconds >= 0 ? std::min(toSeconds, whole.end().seconds())
                                           : whole.end().seconds();
        const double seconds = std::max(0.0, last - first) * 100.0 / speed;
        const double bytes = (videoTrack->estimatedDataRate() + 256000.0) / 8.0 * seconds * 1.2;
        struct statvfs fsInfo {};
        if (statvfs(outDir.c_str(), &fsInfo) == 0 &&
            static_cast<double>(fsInfo.f_bavail) * static_cast<double>(fsInfo.f_frsize) < bytes) {
            fail(withArguments(_("%1: not enough free space in %2 (about %3 needed)"),
                               {output, outDir, describeSize(static_cast<long long>(bytes))}));
            return kExitFailed;
        }
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    if (!engine->start()) {
        removeFile(working);
        const ErrorPtr& why = engine->startError();
        fail(why ? why->localizedDescription()
                 : withArguments(_("%1: cannot be rendered"), {input}));
        return kExitFailed;
    }
    QTimer interruptWatch;
    QObject::connect(&interruptWatch, &QTimer::timeout, [&] {
        if (gInterrupted) {
            engine->stop();
            reporter->done = true;
        }
    });
    interruptWatch.start(50);
    RunLoop::runUntil([&] { return reporter->done; }, 1e9);
    interruptWatch.stop();

    if (gInterrupted && !reporter->succeeded) {
        reporter->endLine();
        removeFile(working);
        fail(withArguments(_("%1: cancelled, nothing written"), {output}));
        return kExitCancelled;
    }
    if (!reporter->succeeded) {
        removeFile(working);
        std::string why =
            reporter->error ? reporter->error->localizedDescription() : _("the render failed");
        if (engine->failureCause()) {
            why += " (" + engine->failureCause()->localizedDescription() + ")";
        }
        fail(output + ": " + namingTheOutput(why, working, outPath.string()));
        return kExitFailed;
    }
    fs::rename(working, outPath, ec);
    if (ec) {
        removeFile(working);
        fail(output + ": " + ec.message());
        return kExitFailed;
    }
    const float seconds = AVFileRenderMgr::getDuration(outPath.string());
    std::printf("%s: %.2f s, %s\n", outPath.string().c_str(), static_cast<double>(seconds),
                describeSize(fileSize(outPath.string())).c_str());
    return kExitOk;
}
