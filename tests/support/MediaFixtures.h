// Small clips made at test time with the ffmpeg command-line tool, and ffprobe facts about files.
#pragma once

#include <cstdint>
#include <string>

namespace tx::test {

// Runs a shell command; its exit status.
int run(const std::string& command);
// Runs a shell command and returns what it printed.
std::string capture(const std::string& command);

struct ClipSpec {
    double seconds = 2.0;
    int width = 160;
    int height = 120;
    int fps = 30;
    int keyint = 30;
    // Each picture's luma is 16 + 2 × its index (capped at 235), so order can be read back.
    bool indexInBrightness = true;
    bool sound = true;
    int sampleRate = 44100;
    int channels = 1;
    // A rising tone (its frequency grows with time) so that reversal can be heard and measured.
    bool sweep = false;
    std::string rotate; // "" or the "rotate" tag in degrees, written as the display matrix
    // Laid out as phones, cameras and other tools write them.
    std::string rate;              // a frame rate such as "30000/1001"; overrides fps when set
    bool variableRate = false;     // picture intervals vary by up to 12 ms around 1/fps
    int timescale = 0;             // the picture track's timescale (QuickTime), 0: the muxer's
    std::string container = "mov"; // "mov", "ts", "mkv", or "avi" (MPEG-4 Part 2 and MP3)
    double startOffset = 0;        // seconds before the first picture and sound
    // With indexInBrightness: luma 16 + 4 × (index mod indexPeriod), for clips too long for the
    // plain index; 0 keeps the plain index.
    int indexPeriod = 0;
    // Pictures stored out of decode order (B-frames), as most encoders write them; the
    // QuickTime writer then gives the last ones a duration of one tick.
    bool reordered = false;
};

// A QuickTime clip in the test's temporary folder, made once per spec and reused.
std::string makeClip(const ClipSpec& spec);
// A sound-only file (m4a) of the given length.
std::string makeSound(double seconds, int sampleRate = 44100, int channels = 2);
// A fresh path in the temporary folder with the given extension.
std::string tempPath(const std::string& extension);
// Whether hidden working files of a movie at `path` (".name...") are left in its folder.
bool workingFilesBeside(const std::string& path);

// A copy of the QuickTime movie at `source` with the 32-bit big-endian `value` written `offset`
// bytes into its `nth` box (from 0, in file order through the box tree) of four-letter `type`,
// as a damaged or hostile file would have it; "" when there is no such box.
std::string movieWithBoxField(const std::string& source, const std::string& type, int nth,
                              int offset, std::uint32_t value);
// The same movie cut as editors cut without re-encoding: `seconds` from `fromSeconds` on, shown
// through an edit list over the untouched samples.
std::string trimmedByEditList(const std::string& source, double fromSeconds, double seconds);

// ffprobe: one entry of a stream ("v:0" or "a:0"), e.g. "codec_name", "width", "duration".
std::string probeStream(const std::string& path, const std::string& stream,
                        const std::string& entry);
double probeDuration(const std::string& path, const std::string& stream);
int probePacketCount(const std::string& path, const std::string& stream);
// Pictures (or sound frames) a decoder gets out of the stream.
int probeFrameCount(const std::string& path, const std::string& stream);

} // namespace tx::test
