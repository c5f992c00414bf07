#include "tools/render/RenderCommand.h"

#include "platform/foundation/Translation.h"

namespace tx {

const CommandSpec& renderCommand() {
    static const CommandSpec spec{
        .program = "taluvex-render",
        .summary = "render a movie backwards",
        .description =
            {
                N_("Renders INPUT backwards into OUTPUT, a QuickTime movie (H.264 pictures at the "
                   "source's size and data rate, AAC sound), with the same engine as the "
                   "application. Progress is shown on the standard error; at the end the movie's "
                   "name, length and size are printed."),
                N_("Pictures are read backwards one second at a time, so memory stays small "
                   "whatever the length; the next second is decoded on a second core while this one "
                   "is written. Where keyframes are far apart (long groups of pictures), the "
                   "pictures of a group are kept in an unnamed file in the cache folder while it is "
                   "written, up to 2 GB a group (two groups at most at once), and gone when the "
                   "render ends."),
            },
        .options =
            {
                {.names = {"speed"},
                 .valueName = "70|100|130",
                 .text = N_("How fast the pictures run: x0.7, x1.0 (default) or x1.3. The output "
                            "lasts the source's length x 100/speed."),
                 .choices = {"70", "100", "130"}},
                {.names = {"sound"},
                 .valueName = "SOUND",
                 .text = N_("What is heard:"),
                 .values =
                     {
                         {"from-video", N_("the source's own sound, reversed with the pictures and "
                                           "sped up or slowed down with them, pitch kept (default)")},
                         {"mute", N_("no sound track at all")},
                         {"track:N", N_("built-in music track N (1-6), laid forwards")},
                         {"FILE", N_("that sound or movie file's sound, laid forwards; cut at the "
                                     "output's length, started again when shorter")},
                     },
                 .suggestions = {"from-video", "mute", "track:1", "track:2", "track:3", "track:4",
                                 "track:5", "track:6"},
                 .takesFile = true},
                {.names = {"from"},
                 .valueName = "SECONDS",
                 .text = N_("Render only the stretch of INPUT from this time (default: its "
                            "start).")},
                {.names = {"to"},
                 .valueName = "SECONDS",
                 .text = N_("... up to this time (default: its end). Only the stretch is read, its "
                            "first and last pictures exactly; the source's own sound is cut to "
                            "match.")},
                {.names = {"help", "h"}, .text = N_("Show this text.")},
            },
        .arguments = {{"INPUT"}, {"OUTPUT"}},
        .sections =
            {
                {N_("Files"),
                 {
                     {"$XDG_CACHE_HOME/taluvex",
                      N_("where the pictures of long groups are kept while they are written "
                         "(~/.cache/taluvex when XDG_CACHE_HOME is not set)")},
                     {"/usr/share/taluvex", N_("the built-in music tracks and their catalogue, "
                                               "SoundTrackInfo.plist, found beside the program in "
                                               "../share/taluvex")},
                 }},
                {N_("Environment"),
                 {
                     {"XDG_CACHE_HOME", N_("the cache folder, as above")},
                 }},
                {N_("Limits"),
                 {
                     {"", N_("What it cannot do: it reads the first picture track and the first "
                             "sound track only; sound with more than two channels is mixed down to "
                             "stereo; variable frame rates come out evenly spaced at the nominal "
                             "rate; interlaced sources are not deinterlaced; a source without "
                             "pictures cannot be rendered. A failed or cancelled render leaves no "
                             "OUTPUT behind, and an existing OUTPUT is replaced only when the new "
                             "movie is complete.")},
                 }},
                {N_("Exit status"),
                 {
                     {"0", N_("done")},
                     {"1", N_("the render failed (the reason is printed)")},
                     {"2", N_("usage error")},
                     {"130", N_("cancelled with Ctrl-C")},
                 }},
                {N_("Examples"),
                 {
                     {"taluvex-render clip.mov backwards.mov",
                      N_("the clip backwards with its own sound reversed")},
                     {"taluvex-render --speed 70 --sound track:3 clip.mov slow.mov",
                      N_("slowed down, with the third built-in track")},
                     {"taluvex-render --sound song.m4a clip.mp4 out.mov",
                      N_("with a song of yours laid forwards under the pictures")},
                     {"taluvex-render --from 12.5 --to 41 clip.mov part.mov",
                      N_("only the stretch from 12.5 s to 41 s, backwards")},
                 }},
            },
    };
    return spec;
}

const CommandSpec& lengthCommand() {
    static const CommandSpec spec{
        .program = "taluvex-length",
        .summary = "print how long movies are",
        .description =
            {
                N_("Prints the length of each MOVIE as the movie library shows it, in seconds, and "
                   "how long finding it took."),
            },
        .options =
            {
                {.names = {"help", "h"}, .text = N_("Show this text.")},
            },
        .arguments = {{.name = "MOVIE", .repeats = true}},
        .sections =
            {
                {N_("Exit status"),
                 {
                     {"0", N_("every MOVIE's length was found")},
                     {"1", N_("a MOVIE is not a movie (the others are still printed)")},
                     {"2", N_("usage error")},
                 }},
                {N_("Examples"),
                 {
                     {"taluvex-length ~/Videos/Taluvex/*.mov", N_("the length of each saved movie")},
                 }},
            },
    };
    return spec;
}

} // namespace tx
