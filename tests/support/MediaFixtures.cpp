#include "MediaFixtures.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <unistd.h>

namespace tx::test {

namespace {

std::string fixtureDir() {
    static const std::string dir = [] {
        std::string d = std::filesystem::temp_directory_path().string() + "/taluvex-fixtures-" +
                        std::to_string(getuid());
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

} // namespace

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        out.append(buffer.data(), got);
    }
    pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return out;
}

std::string makeClip(const ClipSpec& s) {
    std::ostringstream name;
    name << fixtureDir() << "/clip-" << s.seconds << "s-" << s.width << "x" << s.height << "-"
         << s.fps << "fps-k" << s.keyint << (s.indexInBrightness ? "-idx" : "-pat")
         << (s.sound ? "-snd" + std::to_string(s.sampleRate) + "c" + std::to_string(s.channels)
                     : "")
         << (s.sweep ? "-sweep" : "") << (s.rotate.empty() ? "" : "-rot" + s.rotate)
         << (s.rate.empty() ? "" : "-r" + s.rate.substr(0, s.rate.find('/')))
         << (s.variableRate ? "-vfr" : "") << "-ts" << s.timescale << "-off" << s.startOffset
         << "-p" << s.indexPeriod << (s.reordered ? "-bf" : "") << "." << s.container;
    const std::string path = name.str();
    if (std::filesystem::exists(path)) {
        return path;
    }
    // Test programs run side by side: each makes its own temporary file, the rename is atomic.
    const std::string tmp = path + "." + std::to_string(getpid()) + ".tmp";
    std::ostringstream cmd;
    const std::string rate = s.rate.empty() ? std::to_string(s.fps) : s.rate;
    cmd << "ffmpeg -nostdin -loglevel error -y ";
    if (s.indexInBrightness) {
        cmd << "-f lavfi -i color=c=black:size=" << s.width << "x" << s.height << ":rate=" << rate
            << ":duration=" << s.seconds << " ";
    } else {
        cmd << "-f lavfi -i testsrc2=size=" << s.width << "x" << s.height << ":rate=" << rate
            << ":duration=" << s.seconds << " ";
    }
    if (s.sound) {
        if (s.sweep) {
            // 200 Hz rising by 400 Hz a second.
            cmd << "-f lavfi -i \"aevalsrc=0.5*sin(2*PI*(200*t+200*t*t)):s=" << s.sampleRate
                << ":d=" << s.seconds << "\" ";
        } else {
            cmd << "-f lavfi -i sine=frequency=440:sample_rate=" << s.sampleRate
                << ":duration=" << s.seconds << " ";
        }
    }
    std::string filters;
    if (s.indexInBrightness) {
        filters = s.indexPeriod > 0 ? "geq=lum='16+4*mod(N\\," + std::to_string(s.indexPeriod) +
                                          ")':cb=128:cr=128"
                                    : "geq=lum='min(16+2*N\\,235)':cb=128:cr=128";
    }
    if (s.variableRate) {
        filters += std::string(filters.empty() ? "" : ",") + "setpts=PTS+0.012*mod(N\\,3)/TB";
    }
    if (!filters.empty()) {
        cmd << "-vf \"" << filters << "\" ";
    }
    if (s.variableRate) {
        cmd << "-fps_mode passthrough ";
    }
    if (s.container == "avi") {
        cmd << "-c:v mpeg4 -q:v 2 -g " << s.keyint << " ";
    } else {
        cmd << "-c:v libx264 -preset " << (s.reordered ? "veryfast -bf 2" : "ultrafast")
            << " -pix_fmt yuv420p -g " << s.keyint << " -keyint_min " << s.keyint
            << " -sc_threshold 0 ";
    }
    if (s.sound) {
        cmd << (s.container == "avi" ? "-c:a libmp3lame " : "-c:a aac ") << "-ac " << s.channels
            << " -ar " << s.sampleRate << " ";
    }
    if (s.timescale > 0) {
        cmd << "-video_track_timescale " << s.timescale << " ";
    }
    if (s.startOffset > 0) {
        cmd << "-output_ts_offset " << s.startOffset << " ";
    }

    const std::string muxer = s.container == "mkv"  ? "matroska"
                              : s.container == "ts" ? "mpegts"
                                                    : s.container;
    cmd << "-f " << muxer << " \"" << tmp << "\"";
    if (run(cmd.str()) != 0) {
        return {};
    }
    if (!s.rotate.empty()) {
        const std::string rotated = tmp + ".rot";
        if (run("ffmpeg -nostdin -loglevel error -y -i \"" + tmp +
                "\" -c copy "
                "-metadata:s:v:0 rotate=" +
                s.rotate + " -f mov \"" + rotated + "\"") != 0) {
            return {};
        }
        std::filesystem::rename(rotated, tmp);
    }
    std::filesystem::rename(tmp, path);
    return path;
}

std::string makeSound(double seconds, int sampleRate, int channels) {
    std::ostringstream name;
    name << fixtureDir() << "/sound-" << seconds << "s-" << sampleRate << "-" << channels << ".m4a";
    const std::string path = name.str();
    if (std::filesystem::exists(path)) {
        return path;
    }
    const std::string tmp = path + "." + std::to_string(getpid()) + ".tmp";
    std::ostringstream cmd;
    cmd << "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=330:sample_rate="
        << sampleRate << ":duration=" << seconds << " -ac " << channels << " -c:a aac -f mp4 \""
        << tmp << "\"";
    if (run(cmd.str()) != 0) {
        return {};
    }
    std::filesystem::rename(tmp, path);
    return path;
}

namespace {

std::uint32_t bigEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return v;
}

// Where the `nth` box of `type` starts within [from, to), counting from `seen`; npos if none.
std::size_t findBox(const std::string& bytes, std::size_t from, std::size_t to,
                    const std::string& type, int nth, int& seen) {
    static const std::string containers[] = {"moov", "trak", "mdia", "minf", "stbl", "edts"};
    for (std::size_t at = from; at + 8 <= to;) {
        const std::size_t size = bigEndian32(bytes, at);
        if (size < 8 || at + size > to) {
            return std::string::npos;
        }
        const std::string name = bytes.substr(at + 4, 4);
        if (name == type && seen++ == nth) {
            return at;
        }
        for (const std::string& c : containers) {
            if (name == c) {
                const std::size_t inner = findBox(bytes, at + 8, at + size, type, nth, seen);
                if (inner != std::string::npos) {
                    return inner;
                }
            }
        }
        at += size;
    }
    return std::string::npos;
}

} // namespace

std::string movieWithBoxField(const std::string& source, const std::string& type, int nth,
                              int offset, std::uint32_t value) {
    std::ifstream in(source, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int seen = 0;
    const std::size_t box = findBox(bytes, 0, bytes.size(), type, nth, seen);
    if (box == std::string::npos || box + offset + 4 > bytes.size()) {
        return {};
    }
    for (int i = 0; i < 4; ++i) {
        bytes[box + offset + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    }
    const std::string path = tempPath("mov");
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string trimmedByEditList(const std::string& source, double fromSeconds, double seconds) {
    const std::string path = tempPath("mov");
    run("ffmpeg -loglevel error -y -ss " + std::to_string(fromSeconds) + " -i '" + source +
        "' -t " + std::to_string(seconds) + " -c copy '" + path + "'");
    return path;
}

std::string tempPath(const std::string& extension) {
    // The folder outlives the run (its clips are made once); process ids come round again, so a
    // name carries a token of this process too, or a file a test left long ago could stand in
    // for the one a test expects not to be made.
    static const std::string token = [] {
        std::random_device random;
        char text[16];
        std::snprintf(text, sizeof text, "%08x", random());
        return std::string(text);
    }();
    static int counter = 0;
    return fixtureDir() + "/out-" + std::to_string(getpid()) + "-" + token + "-" +
           std::to_string(++counter) + "." + extension;
}

bool workingFilesBeside(const std::string& path) {
    const std::filesystem::path target(path);
    const std::string prefix = "." + target.filename().string();
    for (const auto& e : std::filesystem::directory_iterator(target.parent_path())) {
        if (e.path().filename().string().rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

std::string probeStream(const std::string& path, const std::string& stream,
                        const std::string& entry) {
    return capture("ffprobe -v error -select_streams " + stream + " -show_entries stream=" + entry +
                   " -of default=noprint_wrappers=1:nokey=1 \"" + path + "\" 2>/dev/null");
}

double probeDuration(const std::string& path, const std::string& stream) {
    const std::string text = probeStream(path, stream, "duration");
    return text.empty() || text == "N/A" ? -1.0 : std::atof(text.c_str());
}

int probePacketCount(const std::string& path, const std::string& stream) {
    const std::string text = capture("ffprobe -v error -select_streams " + stream +
                                     " -count_packets -show_entries stream=nb_read_packets -of "
                                     "default=noprint_wrappers=1:nokey=1 \"" +
                                     path + "\" 2>/dev/null");
    return text.empty() ? -1 : std::atoi(text.c_str());
}

int probeFrameCount(const std::string& path, const std::string& stream) {
    const std::string text = capture("ffprobe -v error -select_streams " + stream +
                                     " -count_frames -show_entries stream=nb_read_frames -of "
                                     "default=noprint_wrappers=1:nokey=1 \"" +
                                     path + "\" 2>/dev/null");
    return text.empty() ? -1 : std::atoi(text.c_str());
}

} // namespace tx::test
