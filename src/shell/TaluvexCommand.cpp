#include "shell/TaluvexCommand.h"

#include "platform/foundation/Translation.h"

namespace tx {

const CommandSpec& taluvexCommand() {
    static const CommandSpec spec{
        .program = "taluvex",
        .summary = "record a clip and watch it run backwards",
        .description =
            {
                N_("Records a short clip from the camera, or takes a movie you pick, and renders a "
                   "new movie in which the pictures run backwards at x0.7, x1.0 or x1.3 with the "
                   "sound you choose. Movies are kept in $XDG_DATA_HOME/taluvex/Documents with a "
                   "thumbnail beside each, where they can be played, saved to your Videos folder, "
                   "mailed or shared."),
                N_("Without a camera, a virtual one (a moving test pattern with a tone) stands in. "
                   "A second taluvex raises the window of the first one."),
            },
        .options =
            {
                {.names = {"help", "h"}, .text = N_("Show this text.")},
                {.names = {"version"}, .text = N_("Show the version.")},
                {.names = {"sign-out"}, .text = N_("Forget the stored Twitter and Facebook sign-ins.")},
            },
        .sections =
            {
                {N_("Keys everywhere (F1 shows the keys of the screen in front)"),
                 {
                     {"Tab, Shift+Tab", N_("move the focus ring between the controls in front")},
                     {"Space, Return", N_("press the control with the focus ring")},
                     {"Esc", N_("back, close or cancel")},
                     {"F1, Ctrl+?", N_("show or hide the list of keys")},
                     {"Ctrl+Q", N_("quit (asks first while recording or rendering)")},
                 }},
                {N_("Keys on the main screen"),
                 {
                     {"Space", N_("start or stop a recording")},
                     {"O", N_("pick a movie to reverse (or drop a movie file on the window)")},
                     {"L", N_("open the movie library")},
                     {"C", N_("swap cameras")},
                     {",", N_("open or close the settings panel")},
                     {"Esc", N_("cancel a render in progress")},
                     {"Ctrl+Left/Right", N_("turn the simulated device (rotates the camera controls)")},
                 }},
                {N_("Keys on the other screens"),
                 {
                     {N_("Settings panel"), N_("Left, Right slower, faster; Q quality; S choose the "
                                        "sound; Esc or , close")},
                     {N_("Sound and music lists"), N_("Up, Down, Return choose; Space plays a built-in "
                                               "track; typing searches music; Esc back")},
                     {N_("Movie picker"), N_("Up, Down, Home, End, Return open; Esc cancel")},
                     {N_("Trim screen"), N_("Left, Right move the handle (Shift: ten steps); Home, End; "
                                     "Tab other handle; Return use; Esc cancel")},
                     {N_("Library"), N_("Up, Down, Return open; Delete delete; E edit; Ctrl+Tab the "
                                 "YouTube tab; Esc back")},
                     {N_("YouTube tab"), N_("1, 2, 3 order; Up, Down, Return watch; C copy the link; M "
                                     "mail it; Ctrl+Tab my movies; Esc back")},
                     {N_("Share screen"), N_("P play; S save to Videos; M mail; T Twitter; F Facebook; "
                                      "E enter the contest; Esc back")},
                     {N_("Player"), N_("Space play or pause; Left, Right step; Esc done")},
                     {N_("Contest form"), N_("Tab next field or button; Return next field, on the "
                                      "last Submit; Esc close")},
                     {N_("Facebook panel"), N_("Ctrl+Return share; Esc close or stop the upload")},
                     {N_("Twitter PIN"), N_("Return sign in; Esc cancel")},
                 }},
                {N_("Files"),
                 {
                     {"$XDG_DATA_HOME/taluvex/Documents",
                      N_("the movie library: the rendered movies and their thumbnails "
                         "(~/.local/share/taluvex/Documents when XDG_DATA_HOME is not set)")},
                     {"$XDG_VIDEOS_DIR/Taluvex", N_("where a movie saved from the library goes")},
                     {"$XDG_CONFIG_HOME/taluvex/services.ini",
                      N_("the online services' hosts, app credentials and addresses")},
                     {"$XDG_CACHE_HOME/taluvex", N_("pictures kept while a render is written")},
                 }},
                {N_("Environment"),
                 {
                     {"XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME", N_("the folders above")},
                     {"LANGUAGE, LC_ALL, LC_MESSAGES, LANG", N_("the language of the interface")},
                 }},
                {N_("Exit status"),
                 {
                     {"0", N_("the window was closed, or an option answered")},
                     {"2", N_("usage error")},
                 }},
                {N_("Examples"),
                 {
                     {"taluvex", N_("opens the window")},
                     {"taluvex --sign-out", N_("forgets the stored sign-ins and ends")},
                 }},
            },
    };
    return spec;
}

} // namespace tx
