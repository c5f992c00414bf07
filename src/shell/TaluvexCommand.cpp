#include "shell/TaluvexCommand.h"

namespace tx {

const CommandSpec& taluvexCommand() {
    static const CommandSpec spec{
        .program = "taluvex",
        .summary = "record a clip and watch it run backwards",
        .description =
            {
                "Records a short clip from the camera, or takes a movie you pick, and renders a "
                "new movie in which the pictures run backwards at x0.7, x1.0 or x1.3 with the "
                "sound you choose. Movies are kept in $XDG_DATA_HOME/taluvex/Documents with a "
                "thumbnail beside each, where they can be played, saved to your Videos folder, "
                "mailed or shared.",
                "Without a camera, a virtual one (a moving test pattern with a tone) stands in. "
                "A second taluvex raises the window of the first one.",
            },
        .options =
            {
                {.names = {"help", "h"}, .text = "Show this text."},
                {.names = {"version"}, .text = "Show the version."},
                {.names = {"sign-out"}, .text = "Forget the stored Twitter and Facebook sign-ins."},
            },
        .sections =
            {
                {"Keys on the main screen",
                 {
                     {"Space", "start or stop a recording"},
                     {"O", "pick a movie to render"},
                     {"L", "open the movie library"},
                     {"C", "swap the front and back cameras"},
                     {"Esc", "cancel a render in progress"},
                     {"Ctrl+Left/Right", "turn the simulated device (rotates the camera controls)"},
                 }},
                {"Files",
                 {
                     {"$XDG_DATA_HOME/taluvex/Documents",
                      "the movie library: the rendered movies and their thumbnails "
                      "(~/.local/share/taluvex/Documents when XDG_DATA_HOME is not set)"},
                     {"$XDG_VIDEOS_DIR/Taluvex", "where a movie saved from the library goes"},
                     {"$XDG_CONFIG_HOME/taluvex/services.ini",
                      "the online services' hosts, app credentials and addresses"},
                     {"$XDG_CACHE_HOME/taluvex", "pictures kept while a render is written"},
                 }},
                {"Environment",
                 {
                     {"XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME", "the folders above"},
                     {"LANGUAGE, LC_ALL, LC_MESSAGES, LANG", "the language of the interface"},
                 }},
                {"Exit status",
                 {
                     {"0", "the window was closed, or an option answered"},
                     {"2", "usage error"},
                 }},
                {"Examples",
                 {
                     {"taluvex", "opens the window"},
                     {"taluvex --sign-out", "forgets the stored sign-ins and ends"},
                 }},
            },
    };
    return spec;
}

} // namespace tx
