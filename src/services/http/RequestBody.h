// A request body made of text and slices of files, produced piece by piece while it is sent, so
// that a movie is never read into memory; and the multipart/form-data framing the services use.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tx {

class RequestBody {
public:
    RequestBody() = default;
    explicit RequestBody(std::string text) { appendText(std::move(text)); }
    RequestBody(const RequestBody&) = delete;
    RequestBody& operator=(const RequestBody&) = delete;
    ~RequestBody();

    void appendText(std::string text);
    // `length` bytes of the file at `path` from `offset`, read in blocks of kFileBlockBytes.
    void appendFileSlice(std::string path, std::uint64_t offset, std::uint64_t length);

    std::uint64_t size() const;
    // The bytes taken from files: what an upload's progress counts.
    std::uint64_t fileBytes() const;
    // Sent with "Transfer-Encoding: chunked" and no Content-Length.
    bool chunked() const { return _chunked; }
    void setChunked(bool chunked) { _chunked = chunked; }

    // Called on the network thread. Fills up to `capacity` bytes; 0 at the end; nothing on a
    // file that cannot be read (or became shorter), with the reason in `error()`.
    std::optional<std::size_t> read(char* buffer, std::size_t capacity);
    void rewind();
    // File bytes read so far: the progress of an upload.
    std::uint64_t fileBytesRead() const { return _fileBytesRead.load(); }
    const std::string& error() const { return _error; }

    static constexpr std::size_t kFileBlockBytes = 32768;

private:
    struct Segment {
        std::string text;
        std::string path;
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
        bool isFile = false;
    };
    std::vector<Segment> _segments;
    std::size_t _segment = 0;
    std::uint64_t _position = 0; // within the current segment
    std::FILE* _file = nullptr;
    std::string _error;
    bool _chunked = false;
    std::atomic<std::uint64_t> _fileBytesRead{0};
};

// multipart/form-data framed as "--B" CRLF, the part's headers CRLF, an empty line, the value
// CRLF, and "--B--" CRLF at the end.
class MultipartForm {
public:
    // A fresh boundary of 8 letters and digits from the system's secure random source.
    MultipartForm();
    explicit MultipartForm(std::string boundary);

    const std::string& boundary() const { return _boundary; }
    std::string contentType() const { return "multipart/form-data; boundary=" + _boundary; }

    // A text field with "Content-Type: text/plain; charset=UTF-8". Refused (false) when the
    // value could close the part early: it holds the boundary, or CR or LF when `singleLine`.
    bool addField(const std::string& name, const std::string& value, bool singleLine = false);
    // A file part streamed from disk.
    void addFile(const std::string& name, const std::string& fileName,
                 const std::string& contentType, const std::string& path, std::uint64_t offset,
                 std::uint64_t length);
    // Closes the form and hands over the body.
    std::shared_ptr<RequestBody> finish();

    static std::string makeBoundary();

private:
    std::string _boundary;
    std::shared_ptr<RequestBody> _body;
};

} // namespace tx
