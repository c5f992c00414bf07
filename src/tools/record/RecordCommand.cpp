#include "tools/record/RecordCommand.h"

#include "platform/foundation/Translation.h"

namespace tx {

const CommandSpec& recordCommand() {
    static const CommandSpec spec{
        .program = "taluvex-record",
        .summary = "record a clip from the camera",
        .description =
            {
                N_("Records N seconds (default 3, at most 900) from the camera and the microphone "
                   "into the QuickTime movie OUTPUT: H.264 with a keyframe every second and AAC "
                   "sound, the way the application's main screen records. Ctrl-C stops the "
                   "recording early and keeps what was recorded."),
                N_("On a machine without a camera the virtual camera records a moving test pattern "
                   "(back: colour bars and a counter; front: scrolling bars) with a 440 Hz tone."),
            },
        .options =
            {
                {.names = {"seconds"},
                 .valueName = "N",
                 .text = N_("Length of the recording in seconds: above 0 and at most 900.")},
                {.names = {"camera"},
                 .valueName = "back|front",
                 .text = N_("back (the first camera, the default) or front (the second)."),
                 .choices = {"back", "front"}},
                {.names = {"preset"},
                 .valueName = "medium|640x480",
                 .text = N_("medium (480x360, the default) or 640x480."),
                 .choices = {"medium", "640x480"}},
                {.names = {"backwards"},
                 .valueName = "MOVIE",
                 .text = N_("Also make the backwards movie MOVIE, with the recording's own sound "
                            "reversed, the way the main screen does: each second is reversed and "
                            "encoded while recording, so the movie is ready soon after the end. "
                            "Prints how long after the end of the recording it was ready."),
                 .takesFile = true},
                {.names = {"speed"},
                 .valueName = "70|100|130",
                 .text = N_("The backwards movie's speed: x0.7, x1.0 (the default) or x1.3."),
                 .choices = {"70", "100", "130"}},
                {.names = {"sound"},
                 .valueName = "from-video|mute",
                 .text = N_("What the backwards movie's sound is: the recording's own, reversed "
                            "(the default), or none."),
                 .choices = {"from-video", "mute"}},
                {.names = {"after"},
                 .text = N_("Make the backwards movie only once the recording has ended, as a "
                            "picked movie is made, instead of reversing it while recording: to "
                            "compare the two waits.")},
                {.names = {"help", "h"}, .text = N_("Show this text.")},
            },
        .arguments = {{"OUTPUT"}},
        .sections =
            {
                {N_("Files"),
                 {
                     {"/dev/video*", N_("the cameras, in the order of their numbers")},
                     {"$TMPDIR", N_("where the recording is made before it is moved to OUTPUT")},
                 }},
                {N_("Environment"),
                 {
                     {"PULSE_SERVER",
                      N_("the PulseAudio server the microphone is read from; without it, the one "
                         "in $XDG_RUNTIME_DIR/pulse, else an ALSA card that can capture, else the "
                         "virtual microphone's tone")},
                     {"TMPDIR", N_("as above (/tmp when not set)")},
                 }},
                {N_("Exit status"),
                 {
                     {"0", N_("saved")},
                     {"1", N_("the recording failed (the reason is printed)")},
                     {"2", N_("usage error")},
                 }},
                {N_("Examples"),
                 {
                     {"taluvex-record clip.mov", N_("three seconds from the first camera")},
                     {"taluvex-record --seconds 10 --camera front --preset 640x480 me.mov",
                      N_("ten seconds from the second camera at 640x480")},
                     {"taluvex-record --seconds 30 --backwards back.mov clip.mov",
                      N_("thirty seconds, and their backwards movie soon after the end")},
                 }},
            },
    };
    return spec;
}

} // namespace tx
