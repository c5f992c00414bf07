#include "PictureSpill.h"

#include "LeftBehind.h"
#include "platform/foundation/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <linux/falloc.h>
#include <unistd.h>

namespace tx {

namespace {

bool writeAll(int fd, const std::uint8_t* data, std::size_t length, std::int64_t offset) {
    while (length > 0) {
        const ssize_t wrote = ::pwrite(fd, data, length, offset);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        data += wrote;
        length -= static_cast<std::size_t>(wrote);
        offset += wrote;
    }
    return true;
}

bool readAll(int fd, std::uint8_t* data, std::size_t length, std::int64_t offset) {
    while (length > 0) {
        const ssize_t got = ::pread(fd, data, length, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        data += got;
        length -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

// Planes go to and from the file in one call when their rows are packed, row by row otherwise.
bool writePlane(int fd, const std::uint8_t* data, int linesize, std::size_t rowBytes, int rows,
                std::int64_t& offset) {
    if (static_cast<std::size_t>(linesize) == rowBytes) {
        if (!writeAll(fd, data, rowBytes * rows, offset)) {
            return false;
        }
        offset += static_cast<std::int64_t>(rowBytes * rows);
        return true;
    }
    for (int y = 0; y < rows; ++y) {
        if (!writeAll(fd, data + static_cast<std::ptrdiff_t>(y) * linesize, rowBytes, offset)) {
            return false;
        }
        offset += static_cast<std::int64_t>(rowBytes);
    }
    return true;
}

bool readPlane(int fd, std::uint8_t* data, int linesize, std::size_t rowBytes, int rows,
               std::int64_t& offset) {
    if (static_cast<std::size_t>(linesize) == rowBytes) {
        if (!readAll(fd, data, rowBytes * rows, offset)) {
            return false;
        }
        offset += static_cast<std::int64_t>(rowBytes * rows);
        return true;
    }
    for (int y = 0; y < rows; ++y) {
        if (!readAll(fd, data + static_cast<std::ptrdiff_t>(y) * linesize, rowBytes, offset)) {
            return false;
        }
        offset += static_cast<std::int64_t>(rowBytes);
    }
    return true;
}

} // namespace

std::int64_t PictureSpill::pictureBytes() const {
    const auto lumaRow = static_cast<std::int64_t>(width);
    const auto chromaRow = static_cast<std::int64_t>((width + 1) / 2 * 2);
    return lumaRow * height + chromaRow * ((height + 1) / 2);
}

PictureSpill::File::~File() {
    if (fd >= 0) {
        // The last close of an unnamed file of a gigabyte frees all of it, which takes a while:
        // not on the reader's thread.
        leftBehind::post([descriptor = fd] { ::close(descriptor); });
    }
}

bool PictureSpill::reset(std::int64_t start) {
    entries.clear();
    writeOffset = 0;
    coveredStart = start;
    coveredEnd = start;
    // In the user's cache folder, on disk: the temporary folder is often memory. Unlinked from
    // the start, so the space returns to the system whatever happens to us.
    file = std::make_shared<File>();
    const std::string folder = cacheDirectory();
    file->fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (file->fd < 0) {
        // A file system without unnamed files: make one and unlink it at once.
        std::string name = pathByAppending(folder, ".pictures-XXXXXX");
        file->fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (file->fd >= 0) {
            ::unlink(name.c_str());
        }
    }
    if (file->fd < 0) {
        file.reset();
        return false;
    }
    return true;
}

void PictureSpill::prepend(PictureSpill& earlier, std::int64_t end) {
    const auto forgotten =
        std::lower_bound(entries.begin(), entries.end(), end,
                         [](const Entry& e, std::int64_t t) { return e.pts < t; });
    for (auto it = forgotten; it != entries.end(); ++it) {
        // Their disk space goes back now, not when the last picture of the file is forgotten.
        const std::int64_t next = it + 1 != entries.end() && (it + 1)->file == it->file
                                      ? (it + 1)->offset
                                      : it->offset + pictureBytes();
        ::fallocate(it->file->fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, it->offset,
                    next - it->offset);
    }
    entries.erase(forgotten, entries.end());
    coveredEnd = std::min(coveredEnd, end);
    entries.insert(entries.begin(), std::make_move_iterator(earlier.entries.begin()),
                   std::make_move_iterator(earlier.entries.end()));
    earlier.entries.clear();
    coveredStart = earlier.coveredStart;
    if (width == 0) {
        width = earlier.width;
        height = earlier.height;
    }
}

bool PictureSpill::append(const AVFrame* picture) {
    if (!file || picture->format != AV_PIX_FMT_NV12) {
        return false;
    }
    const int fd = file->fd;
    width = picture->width;
    height = picture->height;
    const std::size_t lumaRow = static_cast<std::size_t>(width);
    const std::size_t chromaRow = static_cast<std::size_t>((width + 1) / 2 * 2);
    const int chromaRows = (height + 1) / 2;
    if (writeOffset + pictureBytes() > kBudgetBytes) {
        return false;
    }
    const std::int64_t start = writeOffset;
    if (!writePlane(fd, picture->data[0], picture->linesize[0], lumaRow, height, writeOffset) ||
        !writePlane(fd, picture->data[1], picture->linesize[1], chromaRow, chromaRows,
                    writeOffset)) {
        return false;
    }
    entries.push_back({picture->best_effort_timestamp, picture->pkt_duration, start, file});
    return true;
}

std::size_t PictureSpill::firstAtOrAfter(std::int64_t ts) const {
    return static_cast<std::size_t>(
        std::lower_bound(entries.begin(), entries.end(), ts,
                         [](const Entry& e, std::int64_t t) { return e.pts < t; }) -
        entries.begin());
}

OwnedFrame PictureSpill::load(std::size_t index) const {
    if (index >= entries.size()) {
        return nullptr;
    }
    const Entry& entry = entries[index];
    OwnedFrame frame = ff::allocNV12(width, height);
    if (!frame) {
        return nullptr;
    }
    const std::size_t lumaRow = static_cast<std::size_t>(width);
    const std::size_t chromaRow = static_cast<std::size_t>((width + 1) / 2 * 2);
    const int chromaRows = (height + 1) / 2;
    std::int64_t offset = entry.offset;
    const int fd = entry.file->fd;
    if (!readPlane(fd, frame->data[0], frame->linesize[0], lumaRow, height, offset) ||
        !readPlane(fd, frame->data[1], frame->linesize[1], chromaRow, chromaRows, offset)) {
        return nullptr;
    }
    frame->pts = entry.pts;
    frame->best_effort_timestamp = entry.pts;
    frame->pkt_duration = entry.duration;
    return frame;
}

} // namespace tx
