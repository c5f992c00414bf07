#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/Asset.h"
#include "platform/system/FileDialog.h"
#include "platform/system/ImagePickerController.h"
#include "platform/system/MovieExportSession.h"
#include "platform/system/MovieFolder.h"
#include "platform/system/MovieTrimViewController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "support/MediaFixtures.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace tx;
namespace fs = std::filesystem;

namespace {

// A folder of its own for a test's movies.
std::string freshFolder(const std::string& name) {
    const std::string dir = test::tempPath("d") + "-" + name;
    fs::create_directories(dir);
    return dir;
}

void copyWithAge(const std::string& from, const std::string& to, const std::string& date) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    test::run("touch -d '" + date + "' '" + to + "'");
}

std::string writeText(const std::string& path) {
    std::ofstream(path) << "not a movie at all";
    return path;
}

AlertView* shownAlert(Window& window) {
    for (const auto& view : window.subviews())
        if (auto alert = std::dynamic_pointer_cast<AlertView>(view))
            return alert.get();
    return nullptr;
}

struct Answers : ImagePickerControllerDelegate {
    std::vector<std::string> picked;
    std::vector<TimeRange> stretches;
    int cancels = 0;
    void
    imagePickerControllerDidFinishPickingMediaWithInfo(ImagePickerController&,
                                                       const ImagePickerMediaInfo& info) override {
        EXPECT_EQ(info.mediaType, kUTTypeMovie);
        picked.push_back(info.mediaURL);
        stretches.push_back(info.mediaTimeRange);
    }
    void imagePickerControllerDidCancel(ImagePickerController&) override { ++cancels; }
};

// A picker on screen in a key window, answering to `answers`.
struct PickerStage {
    std::shared_ptr<Window> window = std::make_shared<Window>(Screen::mainScreen().bounds());
    std::shared_ptr<ImagePickerController> picker = std::make_shared<ImagePickerController>();
    std::shared_ptr<Answers> answers = std::make_shared<Answers>();

    PickerStage(const std::string& folder, const std::string& initialPath = {}) {
        picker->setAllowsEditing(true);
        picker->setDelegate(answers);
        picker->setMovieFolder(folder);
        picker->setInitialMoviePath(initialPath);
        window->setRootViewController(picker);
        window->makeKeyAndVisible();
    }
    ~PickerStage() { FileDialog::setHandler({}); }
    void key(KeyEvent::Key k, bool shift = false) {
        KeyEvent e;
        e.key = k;
        e.shift = shift;
        window->sendKey(e);
    }
    MovieTrimViewController* trimWhenReady() {
        RunLoop::runUntil(
            [&] { return picker->trimViewController() && picker->trimViewController()->isReady(); },
            10);
        return picker->trimViewController();
    }
    bool answered() const { return !answers->picked.empty() || answers->cancels > 0; }
};

} // namespace

TEST(MovieTrim, HandlesStayInsideTheMovieAndTheAllowedLengths) {
    struct Case {
        TrimRange range;
        TrimHandle handle;
        double to;
        double duration;
        TrimRange want;
    };
    const Case cases[] = {
        // Inside the movie.
        {{0, 7.9}, TrimHandle::Start, -3, 7.9, {0, 7.9}},
        {{0, 7.9}, TrimHandle::End, 12, 7.9, {0, 7.9}},
        {{0, 7.9}, TrimHandle::Start, 2.5, 7.9, {2.5, 7.9}},
        // Never shorter than half a second, never crossing.
        {{2, 5}, TrimHandle::Start, 6, 7.9, {4.5, 5}},
        {{2, 5}, TrimHandle::End, 1, 7.9, {2, 2.5}},
        // A movie shorter than the shortest stretch can only be used whole.
        {{0, 0.3}, TrimHandle::End, 0.1, 0.3, {0, 0.3}},
        // Never longer than 15 minutes, whichever handle moves.
        {{0, 900}, TrimHandle::End, 1000, 1200, {0, 900}},
        {{100, 900}, TrimHandle::Start, 0, 1200, {0, 900}},
        {{100, 1000}, TrimHandle::End, 1200, 1200, {100, 1000}},
        {{300, 1000}, TrimHandle::Start, 10, 1200, {100, 1000}},
    };
    for (const Case& c : cases) {
        const TrimRange got = moveTrimHandle(c.range, c.handle, c.to, c.duration);
        EXPECT_NEAR(got.start, c.want.start, 1e-9) << c.to;
        EXPECT_NEAR(got.end, c.want.end, 1e-9) << c.to;
    }
}

TEST(MovieFolder, LengthsAndPositionsReadAsOnAClock) {
    EXPECT_EQ(formatMovieLength(7.4), "0:07");
    EXPECT_EQ(formatMovieLength(7.9), "0:08");
    EXPECT_EQ(formatMovieLength(725), "12:05");
    EXPECT_EQ(formatMovieLength(3723), "1:02:03");
    EXPECT_EQ(formatMovieLength(-1), "0:00");
    EXPECT_EQ(formatMoviePosition(3.44), "0:03.4");
    EXPECT_EQ(formatMoviePosition(59.96), "1:00.0");
    EXPECT_EQ(formatMoviePosition(3723), "1:02:03.0");
}

TEST(MovieFolder, ListsReadableMoviesNewestFirstAndSkipsTheRest) {
    const std::string dir = freshFolder("scan");
    test::ClipSpec shortClip;
    shortClip.seconds = 3.4;
    test::ClipSpec longClip;
    longClip.seconds = 7.9;
    longClip.fps = 25;
    longClip.sound = false;
    copyWithAge(test::makeClip(shortClip), dir + "/older.mov", "2024-01-02 10:00");
    fs::create_directories(dir + "/Holiday");
    copyWithAge(test::makeClip(longClip), dir + "/Holiday/newer.MP4", "2025-06-01 10:00");
    writeText(dir + "/broken.mov");
    writeText(dir + "/notes.txt");
    fs::create_directories(dir + "/.cache");
    copyWithAge(test::makeClip(shortClip), dir + "/.cache/hidden.mov", "2026-01-01 10:00");

    std::vector<std::string> heard;
    const auto movies = scanMovieFolder(dir, {82, 46}, nullptr,
                                        [&](const MovieEntry& m) { heard.push_back(m.name); });
    ASSERT_EQ(movies.size(), 2u);
    // Heard of one by one in the list's own order, so a list can show them as they come.
    EXPECT_EQ(heard, (std::vector<std::string>{"newer.MP4", "older.mov"}));
    EXPECT_EQ(movies[0].name, "newer.MP4");
    EXPECT_NEAR(movies[0].durationSeconds, 7.9, 0.1);
    EXPECT_EQ(movies[1].name, "older.mov");
    EXPECT_NEAR(movies[1].durationSeconds, 3.4, 0.1);
    for (const auto& movie : movies) {
        ASSERT_TRUE(movie.thumbnail) << movie.name;
        // Fitted into the cell's picture at two pixels a point, the clip's 4:3 kept.
        EXPECT_LE(movie.thumbnail->size().width, 82);
        EXPECT_EQ(movie.thumbnail->size().height, 46);
    }
    EXPECT_TRUE(scanMovieFolder(dir + "/missing", {82, 46}).empty());
    std::atomic<bool> cancelled{true};
    EXPECT_TRUE(scanMovieFolder(dir, {82, 46}, &cancelled).empty());
}

TEST(MovieExport, CopiesAStretchWithPicturesAndSoundCutAtItsEnds) {
    test::ClipSpec spec;
    spec.seconds = 3.4;
    spec.channels = 2;
    spec.sampleRate = 48000;
    const std::string source = test::makeClip(spec);
    auto asset = Asset::urlAsset(source, true);
    ASSERT_TRUE(asset);
    const std::string out = test::tempPath("mov");
    auto session = MovieExportSession::create(
        // From between two pictures (0.9 and 0.933 s): the copy starts at the later one.
        asset,
        TimeRange::make(MediaTime::makeWithSeconds(0.91, 600),
                        MediaTime::makeWithSeconds(1.7, 600)),
        out);
    std::vector<float> progress;
    session->setProgressHandler([&](float p) { progress.push_back(p); });
    bool done = false;
    ErrorPtr error;
    session->exportAsynchronously([&](const ErrorPtr& e) {
        error = e;
        done = true;
    });
    ASSERT_TRUE(RunLoop::runUntil([&] { return done; }, 30));
    ASSERT_FALSE(error) << error->localizedDescription();
    EXPECT_EQ(session->status(), MovieExportStatus::Completed);
    EXPECT_EQ(test::probeStream(out, "v:0", "codec_name"), "h264");
    EXPECT_EQ(test::probeStream(out, "a:0", "codec_name"), "aac");
    EXPECT_EQ(test::probeStream(out, "a:0", "channels"), "2");
    EXPECT_NEAR(std::stod(test::probeStream(out, "v:0", "start_time")), 0, 1e-3);
    EXPECT_NEAR(std::stod(test::probeStream(out, "a:0", "start_time")), 0, 0.03);
    EXPECT_NEAR(test::probeDuration(out, "v:0"), 2.61 - 0.9333, 0.04);
    EXPECT_NEAR(test::probeDuration(out, "a:0"), 2.61 - 0.9333, 0.06);
    EXPECT_EQ(test::probePacketCount(out, "v:0"), 51); // the pictures at 0.933 s … 2.6 s
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_FLOAT_EQ(progress.back(), 1.0f);
    EXPECT_FALSE(test::workingFilesBeside(out));
}

TEST(MovieExport, ACancelledCopyLeavesNothingAndNeverAnswers) {
    test::ClipSpec spec;
    spec.seconds = 7.9;
    spec.width = 320;
    spec.height = 240;
    const std::string source = test::makeClip(spec);
    const std::string out = test::tempPath("mov");
    auto session = MovieExportSession::create(
        Asset::urlAsset(source, true),
        TimeRange::make(MediaTime::zero(), MediaTime::makeWithSeconds(7, 600)), out);
    bool answered = false;
    session->exportAsynchronously([&](const ErrorPtr&) { answered = true; });
    RunLoop::runUntil([&] { return session->progress() > 0.05f; }, 10);
    session->cancelExport();
    RunLoop::runFor(0.2);
    EXPECT_FALSE(answered);
    EXPECT_EQ(session->status(), MovieExportStatus::Cancelled);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(test::workingFilesBeside(out));
}

TEST(MoviePicker, KeysChooseAMovieTrimItAndHandOnTheFileWithItsStretch) {
    const std::string dir = freshFolder("keys");
    test::ClipSpec spec;
    spec.seconds = 7.9;
    copyWithAge(test::makeClip(spec), dir + "/clip.mov", "2025-01-01 10:00");
    PickerStage stage(dir);
    ASSERT_TRUE(RunLoop::runUntil([&] { return !stage.picker->isScanning(); }, 10));
    ASSERT_EQ(stage.picker->movies().size(), 1u);
    EXPECT_EQ(stage.picker->selectedRow(), 1); // the first movie, not "Other…"
    stage.key(KeyEvent::Key::Up);
    EXPECT_EQ(stage.picker->selectedRow(), 0);
    stage.key(KeyEvent::Key::Down);
    stage.key(KeyEvent::Key::Down); // stays on the last row
    EXPECT_EQ(stage.picker->selectedRow(), 1);
    stage.key(KeyEvent::Key::Home);
    EXPECT_EQ(stage.picker->selectedRow(), 0);
    stage.key(KeyEvent::Key::End);
    EXPECT_EQ(stage.picker->selectedRow(), 1);
    stage.key(KeyEvent::Key::Return);

    MovieTrimViewController* trim = stage.trimWhenReady();
    ASSERT_TRUE(trim);
    EXPECT_NEAR(trim->durationSeconds(), 7.9, 0.05);
    EXPECT_FALSE(trim->isTrimmed());
    stage.key(KeyEvent::Key::Right, true); // start handle 1 s in (step 0.1 s, ten times)
    stage.key(KeyEvent::Key::Tab);
    EXPECT_EQ(trim->activeHandle(), TrimHandle::End);
    for (int i = 0; i < 9; ++i)
        stage.key(KeyEvent::Key::Left);
    EXPECT_NEAR(trim->range().start, 1.0, 1e-6);
    EXPECT_NEAR(trim->range().end, trim->durationSeconds() - 0.9, 1e-6);
    EXPECT_TRUE(RunLoop::runUntil([&] { return trim->stripStillCount() == 10; }, 10));

    const auto tempBefore = std::distance(fs::directory_iterator(privateTemporaryDirectory()),
                                          fs::directory_iterator());
    const auto movieBefore = fs::last_write_time(dir + "/clip.mov");
    const TrimRange chosen = trim->range();
    stage.key(KeyEvent::Key::Return);
    // Handed on at once: the file itself and the stretch, nothing copied or encoded on the way.
    ASSERT_TRUE(stage.answered());
    ASSERT_EQ(stage.answers->picked.size(), 1u);
    EXPECT_EQ(stage.answers->picked.front(), dir + "/clip.mov");
    const TimeRange stretch = stage.answers->stretches.front();
    ASSERT_TRUE(stretch.isValid());
    EXPECT_NEAR(stretch.start.seconds(), chosen.start, 1e-5);
    EXPECT_NEAR(stretch.end().seconds(), chosen.end, 1e-5);
    EXPECT_EQ(std::distance(fs::directory_iterator(privateTemporaryDirectory()),
                            fs::directory_iterator()),
              tempBefore);
    EXPECT_EQ(fs::last_write_time(dir + "/clip.mov"), movieBefore);
    stage.key(KeyEvent::Key::Escape); // after the answer nothing more is said
    EXPECT_EQ(stage.answers->cancels, 0);
}

TEST(MoviePicker, AnUntrimmedPickHandsOnTheOriginalAndEscGoesBackToTheList) {
    const std::string dir = freshFolder("whole");
    test::ClipSpec spec;
    spec.seconds = 3.4;
    const std::string movie = dir + "/whole.mov";
    copyWithAge(test::makeClip(spec), movie, "2025-01-01 10:00");
    PickerStage stage(dir);
    // The scan may not have begun yet when the stage is up: wait for its row, not for its end.
    ASSERT_TRUE(RunLoop::runUntil(
        [&] { return !stage.picker->isScanning() && stage.picker->movies().size() == 1; }, 10));
    // A click on the movie's row opens it (clicks made while the screen still settles in may go
    // unheard, so click until it opens).
    const Point row{160, 44 + 60 + 30};
    ASSERT_TRUE(RunLoop::runUntil(
        [&] {
            stage.window->sendTouch(TouchPhase::Began, row);
            stage.window->sendTouch(TouchPhase::Ended, row);
            return stage.picker->trimViewController() != nullptr;
        },
        5));
    ASSERT_TRUE(stage.trimWhenReady());
    EXPECT_EQ(stage.picker->trimViewController()->moviePath(), movie);
    stage.key(KeyEvent::Key::Escape); // back to the list, the pick goes on
    EXPECT_FALSE(stage.picker->trimViewController());
    EXPECT_FALSE(stage.answered());
    stage.key(KeyEvent::Key::Return);
    ASSERT_TRUE(stage.trimWhenReady());
    stage.key(KeyEvent::Key::Return);
    ASSERT_EQ(stage.answers->picked, std::vector<std::string>{movie});
    EXPECT_FALSE(stage.answers->stretches.front().isValid()); // the whole movie
}

TEST(MoviePicker, OtherAsksTheFileDialogAndACancelledDialogKeepsTheList) {
    const std::string dir = freshFolder("other");
    test::ClipSpec spec;
    spec.seconds = 3.4;
    const std::string elsewhere = test::makeClip(spec);
    std::string answer;
    FileDialogRequest asked;
    FileDialog::setHandler([&](const FileDialogRequest& request, FileDialog::Completion done) {
        asked = request;
        RunLoop::post([done, answer] { done(answer); });
    });
    PickerStage stage(dir);
    ASSERT_TRUE(RunLoop::runUntil([&] { return !stage.picker->isScanning(); }, 10));
    EXPECT_TRUE(stage.picker->movies().empty());
    EXPECT_EQ(stage.picker->selectedRow(), 0);
    stage.key(KeyEvent::Key::Return);
    RunLoop::runFor(0.05);
    EXPECT_FALSE(asked.save);
    EXPECT_EQ(asked.directory, dir);
    EXPECT_FALSE(stage.picker->trimViewController());
    EXPECT_FALSE(stage.answered());

    answer = elsewhere;
    stage.key(KeyEvent::Key::Return);
    auto* trim = stage.trimWhenReady();
    ASSERT_TRUE(trim);
    EXPECT_EQ(trim->moviePath(), elsewhere);
}

TEST(MoviePicker, OtherWithoutAnyFileChooserSaysWhatWorksInstead) {
    const std::string dir = freshFolder("nochooser");
    FileDialog::setHandler([](const FileDialogRequest& request, FileDialog::Completion) {
        ASSERT_TRUE(request.onUnavailable);
        request.onUnavailable();
    });
    PickerStage stage(dir);
    ASSERT_TRUE(RunLoop::runUntil([&] { return !stage.picker->isScanning(); }, 10));
    stage.key(KeyEvent::Key::Return); // the "Other…" row of an empty folder
    AlertView* alert = nullptr;
    ASSERT_TRUE(
        RunLoop::runUntil([&] { return (alert = shownAlert(*stage.window)) != nullptr; }, 5));
    EXPECT_NE(alert->message().find("Videos folder (" + dir + ")"), std::string::npos)
        << alert->message();
    EXPECT_NE(alert->message().find("drop"), std::string::npos) << alert->message();
    // Saying so is no answer: the picker stays open for the user to cancel or drop.
    stage.key(KeyEvent::Key::Return);
    RunLoop::runFor(0.3);
    EXPECT_FALSE(stage.answered());
}

TEST(MoviePicker, AnUnreadableFileIsNamedInAnAlertAndThePickEndsAsACancel) {
    const std::string dir = freshFolder("bad");
    const std::string bad = writeText(dir + "/Birthday.mov");
    PickerStage stage(dir, bad); // as if dropped on the window
    AlertView* alert = nullptr;
    ASSERT_TRUE(
        RunLoop::runUntil([&] { return (alert = shownAlert(*stage.window)) != nullptr; }, 10));
    ASSERT_TRUE(alert);
    EXPECT_NE(alert->message().find("Birthday.mov"), std::string::npos) << alert->message();
    EXPECT_FALSE(stage.answered());
    stage.key(KeyEvent::Key::Return);
    EXPECT_TRUE(RunLoop::runUntil([&] { return stage.answered(); }, 2));
    EXPECT_EQ(stage.answers->cancels, 1);
    EXPECT_TRUE(stage.answers->picked.empty());
}

TEST(MoviePicker, AMovieOverFifteenMinutesOpensWithItsFirstFifteenAndNoMore) {
    test::ClipSpec spec;
    spec.seconds = 1000.4;
    spec.width = 32;
    spec.height = 32;
    spec.fps = 2;
    spec.keyint = 60;
    spec.sound = false;
    spec.indexInBrightness = false;
    const std::string movie = test::makeClip(spec);
    PickerStage stage(freshFolder("long"), movie);
    auto* trim = stage.trimWhenReady();
    ASSERT_TRUE(trim);
    EXPECT_NEAR(trim->range().start, 0, 1e-9);
    EXPECT_NEAR(trim->range().end, 900, 1e-9);
    EXPECT_TRUE(trim->isTrimmed()); // the whole file can never be handed on
    stage.key(KeyEvent::Key::Tab);
    stage.key(KeyEvent::Key::Right, true);
    EXPECT_NEAR(trim->range().end, 900, 1e-9);
    stage.key(KeyEvent::Key::End);
    EXPECT_NEAR(trim->range().end, 900, 1e-9);
    trim->setRange({50, 1000.4});
    EXPECT_NEAR(trim->range().length(), 900, 1e-9);
    EXPECT_NEAR(trim->range().start, 50, 1e-9);
    stage.key(KeyEvent::Key::Return);
    ASSERT_EQ(stage.answers->stretches.size(), 1u);
    EXPECT_NEAR(stage.answers->stretches.front().start.seconds(), 50, 1e-5);
    EXPECT_NEAR(stage.answers->stretches.front().duration.seconds(), 900, 1e-5);
}

TEST(MoviePicker, DraggingOnTheStripMovesTheNearerHandle) {
    test::ClipSpec spec;
    spec.seconds = 7.9;
    PickerStage stage(freshFolder("drag"), test::makeClip(spec));
    auto* trim = stage.trimWhenReady();
    ASSERT_TRUE(trim);
    const double h = Screen::mainScreen().bounds().height();
    const double y = h - 142 + 30; // the middle of the strip
    const double d = trim->durationSeconds();
    auto xFor = [&](double seconds) { return 16 + 288 * seconds / d; }; // the strip's track

    stage.window->sendTouch(TouchPhase::Began, Point{12, y});
    stage.window->sendTouch(TouchPhase::Moved, Point{xFor(2.0) - 6, y});
    stage.window->sendTouch(TouchPhase::Ended, Point{xFor(2.0) - 6, y});
    EXPECT_NEAR(trim->range().start, 2.0, 0.05);
    EXPECT_EQ(trim->activeHandle(), TrimHandle::Start);

    stage.window->sendTouch(TouchPhase::Began, Point{xFor(d) + 6, y});
    stage.window->sendTouch(TouchPhase::Moved, Point{xFor(1.0) + 6, y}); // past the start handle
    stage.window->sendTouch(TouchPhase::Ended, Point{xFor(1.0) + 6, y});
    EXPECT_EQ(trim->activeHandle(), TrimHandle::End);
    EXPECT_NEAR(trim->range().start, 2.0, 0.05);
    EXPECT_NEAR(trim->range().end, 2.0 + kMinimumTrimSeconds, 0.05);
}

TEST(MovieExport, APhoneClipKeepsItsTurnAndASilentClipGetsNoSoundTrack) {
    // As phones write: timescale 600, a quarter turn in the display matrix, no sound here.
    const std::string plain = test::tempPath("mov");
    const std::string source = test::tempPath("mov");
    ASSERT_EQ(test::run("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                        "testsrc2=size=192x108:rate=30:duration=3.4 -c:v libx264 -preset "
                        "ultrafast -pix_fmt yuv420p -video_track_timescale 600 '" +
                        plain + "' && ffmpeg -nostdin -loglevel error -y -i '" + plain +
                        "' -c copy -metadata:s:v:0 rotate=90 '" + source + "'"),
              0);
    const std::string out = test::tempPath("mov");
    auto session = MovieExportSession::create(
        Asset::urlAsset(source, true),
        TimeRange::make(MediaTime::makeWithSeconds(1.2, 600), MediaTime::makeWithSeconds(2.2, 600)),
        out);
    ErrorPtr error;
    bool done = false;
    session->exportAsynchronously([&](const ErrorPtr& e) {
        error = e;
        done = true;
    });
    ASSERT_TRUE(RunLoop::runUntil([&] { return done; }, 30));
    ASSERT_FALSE(error) << error->localizedDescription();
    EXPECT_NEAR(test::probeDuration(out, "v:0"), 2.2, 0.05);
    EXPECT_EQ(test::probeStream(out, "a:0", "codec_name"), "");
    auto copy = Asset::urlAsset(out, true);
    ASSERT_TRUE(copy);
    const auto track = copy->tracksWithMediaType(kMediaTypeVideo).front();
    EXPECT_NE(track->preferredTransform().quarterTurns(), 0);
    EXPECT_EQ(track->preferredTransform().quarterTurns(), Asset::urlAsset(source, true)
                                                              ->tracksWithMediaType(kMediaTypeVideo)
                                                              .front()
                                                              ->preferredTransform()
                                                              .quarterTurns());
    EXPECT_EQ(track->naturalSize().width, 192);
}

TEST(MovieExport, ACopyThatCannotBeWrittenSaysWhyAndLeavesNothing) {
    test::ClipSpec spec;
    spec.seconds = 3.4;
    auto session = MovieExportSession::create(
        Asset::urlAsset(test::makeClip(spec), true),
        TimeRange::make(MediaTime::zero(), MediaTime::makeWithSeconds(1, 600)),
        "/nonexistent-folder/copy.mov");
    ErrorPtr error;
    bool done = false;
    session->exportAsynchronously([&](const ErrorPtr& e) {
        error = e;
        done = true;
    });
    EXPECT_FALSE(done); // told on a later turn, even when it fails at once
    ASSERT_TRUE(RunLoop::runUntil([&] { return done; }, 10));
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->localizedDescription().empty());
    EXPECT_EQ(session->status(), MovieExportStatus::Failed);
    EXPECT_FALSE(fs::exists("/nonexistent-folder/copy.mov"));
}

TEST(MoviePicker, AScreenClosedWhileItsMovieIsReadIsNeverToldAboutIt) {
    test::ClipSpec spec;
    spec.seconds = 7.9;
    const std::string movie = test::makeClip(spec);
    for (int i = 0; i < 3; ++i) {
        auto trim = std::make_shared<MovieTrimViewController>(movie);
        bool told = false;
        trim->setCallbacks({[&](const std::string&, const TimeRange&) { told = true; },
                            [&] { told = true; },
                            [&](const std::string&) { told = true; }});
        trim->view(); // starts reading
        RunLoop::runFor(0.001 * i);
        trim.reset(); // the reading goes on by itself and its answers find nobody
        RunLoop::runFor(0.3);
        EXPECT_FALSE(told);
    }
}
