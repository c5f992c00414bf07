// Pages of the tour for the settings panel, the slider switch, the sound track picker and the
// music library, built from the real screens.
#include "Gallery.h"

#include "app/AppConfigureInfo.h"
#include "app/TaluvexAppDelegate.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/AudioPlayer.h"
#include "platform/system/MediaPickerController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "settings/SettingViewController.h"
#include "settings/SoundTrackViewController.h"
#include "shell/TaluvexViewController.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>

namespace tx::gallery {
namespace {

// The application's shared state as a page needs it: the sound, the stored settings, silence.
std::shared_ptr<TaluvexAppDelegate> application(unsigned soundCode, int speed, int quality) {
    static auto delegate = std::make_shared<TaluvexAppDelegate>();
    Application::sharedApplication().setDelegate(delegate);
    AudioPlayer::setSinkFactory(AudioPlayer::makeSilentSink);
    delegate->selectAudioTrack(soundCode);
    auto info = AppConfigureInfo::shareAppConfigureInfo();
    info->setVideoSpeed(speed);
    info->setQuality(quality);
    info->setSoundtrackNotice(false);
    return delegate;
}

// Screens shown by a page stay alive until the tour ends.
template <typename T> std::shared_ptr<T> keep(std::shared_ptr<T> screen) {
    keptAlive().push_back(screen);
    return screen;
}

// The main screen carries the panel; closed, its strip shows on the "main-screen" page.
std::shared_ptr<SettingViewController> panelOn(Window& window) {
    return mainScreenIn(window)->settingViewController();
}

GalleryRegistration open({"settings-panel-open", [](Window& window) {
                              application(6, 130, 0);
                              panelOn(window)->onShowHideButton();
                          }});

GalleryRegistration opening({"settings-panel-opening",
                             [](Window& window) {
                                 application(2, 70, 1);
                                 panelOn(window)->onShowHideButton();
                             },
                             0.2});

// The switch at rest, pressed at 45 %, caught a quarter of the way through a move, and with the
// captions a Japanese desktop gets.
GalleryRegistration switches(
    {"slider-switch-states",
     [](Window& window) {
         auto root = std::make_shared<View>(window.bounds());
         root->setBackgroundColor(theme::panel());
         window.addSubview(root);
         const char* captions[] = {"Off",    "On",           "Pressed at 45%",
                                   "Moving", "Japanese, on", "Japanese, off"};
         std::vector<std::shared_ptr<RCSwitch>> made;
         // The tour's own language comes back after the Japanese switches.
         const char* language = std::getenv("LANGUAGE");
         const std::string tourLanguage = language != nullptr ? language : "";
         for (int i = 0; i < 6; i++) {
             const double y = 40 + i * 60;
             addLabel(*root, captions[i], Rect(20, y, 150, 27), Font::boldSystemFont(15),
                      theme::text());
             if (i >= 4)
                 setenv("LANGUAGE", "ja", 1);
             auto control = std::make_shared<RCSwitchClone>(Rect(200, y, 94, 27), i == 1 || i == 4);
             if (i >= 4 && tourLanguage.empty())
                 unsetenv("LANGUAGE");
             else if (i >= 4)
                 setenv("LANGUAGE", tourLanguage.c_str(), 1);
             control->setAccessibilityLabel(captions[i]);
             root->addSubview(control);
             made.push_back(control);
         }
         // The tour's window takes no touches of its own: the fingers are handed to the
         // switches directly. Moving: tapped at 0, shown a quarter of the way through its move.
         auto finger = [&](RCSwitch& control, double x) {
             auto touch =
                 std::make_shared<Touch>(&window, control.convertPointToView({x, 13}, &window), 0);
             touch->setView(&control);
             return TouchSet{touch};
         };
         made[3]->touchesBegan(finger(*made[3], 22));
         made[3]->touchesEnded(finger(*made[3], 22));
         // Pressed: the finger holds the knob at 45 % of its travel.
         made[2]->touchesBegan(finger(*made[2], 22));
         made[2]->touchesMoved(finger(*made[2], 22 + 0.45 * 50));
     },
     0.0625});

std::shared_ptr<SoundTrackViewController> pickerOver(Window& window) {
    auto picker = keep(std::make_shared<SoundTrackViewController>());
    mainScreenIn(window)->presentViewController(picker, false);
    picker->tableView()->layoutIfNeeded();
    return picker;
}

GalleryRegistration
    picker({"sound-track-picker-playing", [](Window& window) {
                auto app = application(4, 100, 1);
                auto screen = pickerOver(window);
                if (auto row = std::dynamic_pointer_cast<SoundTrackTableCellEx>(
                        screen->tableView()->cellForRowAtIndexPath(IndexPath::forRow(4))))
                    screen->onPlayAndStop(*row);
            }});

GalleryRegistration notice({"sound-track-notice", [](Window& window) {
                                application(3, 100, 1);
                                auto screen = pickerOver(window);
                                MediaItem song;
                                song.title = "Northern Lights";
                                song.assetURL = "/home/user/Music/northern-lights.flac";
                                auto library = std::make_shared<MediaPickerController>();
                                screen->presentViewController(library, false);
                                screen->mediaPickerDidPickMediaItems(*library, {song});
                            }});

// A WAV file of silence with title and artist tags, `seconds` long.
void writeSong(const QString& path, const std::string& title, const std::string& artist,
               int seconds) {
    auto chunk = [](const char* id, const QByteArray& data) {
        QByteArray out(id, 4);
        const quint32 size = static_cast<quint32>(data.size());
        out.append(reinterpret_cast<const char*>(&size), 4);
        out.append(data);
        if (data.size() % 2)
            out.append('\0');
        return out;
    };
    auto text = [](const std::string& s) { return QByteArray(s.c_str(), int(s.size()) + 1); };
    const quint32 rate = 8000;
    QByteArray format;
    const quint16 pcm = 1, channels = 1, align = 1, bits = 8;
    const quint32 byteRate = rate;
    format.append(reinterpret_cast<const char*>(&pcm), 2);
    format.append(reinterpret_cast<const char*>(&channels), 2);
    format.append(reinterpret_cast<const char*>(&rate), 4);
    format.append(reinterpret_cast<const char*>(&byteRate), 4);
    format.append(reinterpret_cast<const char*>(&align), 2);
    format.append(reinterpret_cast<const char*>(&bits), 2);
    QByteArray info("INFO");
    info.append(chunk("INAM", text(title)));
    if (!artist.empty())
        info.append(chunk("IART", text(artist)));
    QByteArray body("WAVE");
    body.append(chunk("fmt ", format));
    body.append(chunk("LIST", info));
    body.append(chunk("data", QByteArray(int(rate) * seconds, char(0x80))));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(chunk("RIFF", body));
}

GalleryRegistration
    library({"music-library-search", [](Window& window) {
                 static QTemporaryDir folder;
                 const struct {
                     const char* file;
                     const char* title;
                     const char* artist;
                     int seconds;
                 } songs[] = {{"Albums/Coast/01.wav", "Harbour Lights", "The Tidelines", 214},
                              {"Albums/Coast/02.wav", "Low Tide", "The Tidelines", 187},
                              {"Singles/run.wav", "Run Backwards", "Mira Sol", 156},
                              {"Singles/glass.wav", "Glass Garden", "Mira Sol", 243},
                              {"demo-take-3.wav", "", "", 95},
                              {"Live/lights.wav", "Lights Out (Live)", "Northbound", 301}};
                 for (const auto& s : songs) {
                     const QString path = folder.filePath(QString::fromUtf8(s.file));
                     QDir().mkpath(QFileInfo(path).path());
                     if (!QFile::exists(path))
                         writeSong(path, s.title, s.artist, s.seconds);
                 }
                 auto root = keep(std::make_shared<ViewController>());
                 window.addSubview(root->view());
                 auto screen = keep(std::make_shared<MediaPickerController>());
                 screen->setMusicDirectory(folder.path().toStdString());
                 root->presentViewController(screen, false);
                 RunLoop::runUntil([&] { return !screen->isScanning(); }, 5);
                 screen->searchField()->becomeFirstResponder();
                 screen->searchField()->insertText("light");
                 KeyEvent down;
                 down.key = KeyEvent::Key::Down;
                 screen->searchField()->resignFirstResponder();
                 screen->keyPressed(down);
                 screen->keyPressed(down);
             }});

} // namespace
} // namespace tx::gallery
