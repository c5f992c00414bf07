#include "tools/record/RecordCommand.h"

namespace tx {

const CommandSpec& recordCommand() {
    static const CommandSpec spec{
        .program = "taluvex-record",
        .summary = "record a clip from the camera",
        .description =
            {
                "Records N seconds (default 3, at most 900) from the camera and the microphone "
                "into the QuickTime movie OUTPUT: H.264 with a keyframe every second and AAC "
                "sound, the way the application's main screen records. Ctrl-C stops the "
                "recording early and keeps what was recorded.",
                "On a machine without a camera the virtual camera records a moving test pattern "
                "(back: colour bars and a counter; front: scrolling bars) with a 440 Hz tone.",
            },
        .options =
            {
                {.names = {"seconds"},
                 .valueName = "N",
                 .text = "Length of the recording in seconds: above 0 and at most 900."},
                {.names = {"camera"},
                 .valueName = "back|front",
                 .text = "back (the first camera, the default) or front (the second).",
                 .choices = {"back", "front"}},
                {.names = {"preset"},
                 .valueName = "medium|640x480",
                 .text = "medium (480x360, the default) or 640x480.",
                 .choices = {"medium", "640x480"}},
                {.names = {"help", "h"}, .text = "Show this text."},
            },
        .arguments = {{"OUTPUT"}},
        .sections =
            {
                {"Files",
                 {
                     {"/dev/video*", "the cameras, in the order of their numbers"},
                     {"$TMPDIR", "where the recording is made before it is moved to OUTPUT"},
                 }},
                {"Environment",
                 {
                     {"PULSE_SERVER",
                      "the PulseAudio server the microphone is read from; without it, the one "
                      "in $XDG_RUNTIME_DIR/pulse, else an ALSA card that can capture, else the "
                      "virtual microphone's tone"},
                     {"TMPDIR", "as above (/tmp when not set)"},
                 }},
                {"Exit status",
                 {
                     {"0", "saved"},
                     {"1", "the recording failed (the reason is printed)"},
                     {"2", "usage error"},
                 }},
                {"Examples",
                 {
                     {"taluvex-record clip.mov", "three seconds from the first camera"},
                     {"taluvex-record --seconds 10 --camera front --preset 640x480 me.mov",
                      "ten seconds from the second camera at 640x480"},
                 }},
            },
    };
    return spec;
}

} // namespace tx
