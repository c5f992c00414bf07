#include "services/http/RequestBody.h"

#include "services/oauth/Crypto.h"

#include <algorithm>
#include <cstring>

namespace tx {

RequestBody::~RequestBody() {
    if (_file) {
        std::fclose(_file);
    }
}

void RequestBody::appendText(std::string text) {
    Segment segment;
    segment.length = text.size();
    segment.text = std::move(text);
    _segments.push_back(std::move(segment));
}

void RequestBody::appendFileSlice(std::string path, std::uint64_t offset, std::uint64_t length) {
    Segment segment;
    segment.path = std::move(path);
    segment.offset = offset;
    segment.length = length;
    segment.isFile = true;
    _segments.push_back(std::move(segment));
}

std::uint64_t RequestBody::size() const {
    std::uint64_t total = 0;
    for (const auto& segment : _segments) {
        total += segment.length;
    }
    return total;
}

std::uint64_t RequestBody::fileBytes() const {
    std::uint64_t total = 0;
    for (const auto& segment : _segments) {
        total += segment.isFile ? segment.length : 0;
    }
    return total;
}

std::optional<std::size_t> RequestBody::read(char* buffer, std::size_t capacity) {
    while (_segment < _segments.size()) {
        Segment& segment = _segments[_segment];
        const std::uint64_t left = segment.length - _position;
        if (left == 0) {
            if (_file) {
                std::fclose(_file);
                _file = nullptr;
            }
            ++_segment;
            _position = 0;
            continue;
        }
        if (!segment.isFile) {
            const std::size_t count =
                static_cast<std::size_t>(std::min<std::uint64_t>(left, capacity));
            std::memcpy(buffer, segment.text.data() + _position, count);
            _position += count;
            return count;
        }
        if (!_file) {
            _file = std::fopen(segment.path.c_str(), "rb");
            if (!_file ||
                ::fseeko(_file, static_cast<off_t>(segment.offset + _position), SEEK_SET) != 0) {
                _error = "Cannot read \"" + segment.path + "\": " + std::strerror(errno);
                return std::nullopt;
            }
        }
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>({left, capacity, kFileBlockBytes}));
        const std::size_t count = std::fread(buffer, 1, wanted, _file);
        if (count == 0) {
            _error = "\"" + segment.path + "\" became shorter while it was being sent";
            return std::nullopt;
        }
        _position += count;
        _fileBytesRead += count;
        return count;
    }
    return 0;
}

void RequestBody::rewind() {
    if (_file) {
        std::fclose(_file);
        _file = nullptr;
    }
    _segment = 0;
    _position = 0;
    _fileBytesRead = 0;
    _error.clear();
}

std::string MultipartForm::makeBoundary() {
    static const char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    constexpr unsigned kAlphabetSize = sizeof(kAlphabet) - 1; // 62
    std::string boundary;
    while (boundary.size() < 8) {
        const std::string bytes = Crypto::randomBytes(16);
        for (unsigned char byte : bytes) {
            // Rejection sampling keeps every character equally likely.
            if (byte < 248 && boundary.size() < 8) {
                boundary += kAlphabet[byte % kAlphabetSize];
            }
        }
    }
    return boundary;
}

MultipartForm::MultipartForm() : MultipartForm(makeBoundary()) {}

MultipartForm::MultipartForm(std::string boundary)
    : _boundary(std::move(boundary)), _body(std::make_shared<RequestBody>()) {}

bool MultipartForm::addField(const std::string& name, const std::string& value, bool singleLine) {
    if (value.find("--" + _boundary) != std::string::npos ||
        name.find_first_of("\"\r\n") != std::string::npos) {
        return false;
    }
    if (singleLine && value.find_first_of("\r\n") != std::string::npos) {
        return false;
    }
    _body->appendText("--" + _boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                      "\"\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n" + value + "\r\n");
    return true;
}

void MultipartForm::addFile(const std::string& name, const std::string& fileName,
                            const std::string& contentType, const std::string& path,
                            std::uint64_t offset, std::uint64_t length) {
    _body->appendText("--" + _boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                      "\"; filename=\"" + fileName + "\"\r\nContent-Type: " + contentType +
                      "\r\n\r\n");
    _body->appendFileSlice(path, offset, length);
    _body->appendText("\r\n");
}

std::shared_ptr<RequestBody> MultipartForm::finish() {
    _body->appendText("--" + _boundary + "--\r\n");
    return _body;
}

} // namespace tx
