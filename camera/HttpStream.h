#pragma once
// One HTTP GET read as a stream: the caller pulls the body line by line or
// by byte count while the transfer runs (libcurl multi interface). Every
// wait is cut into short slices so a cancel request ends it quickly, and a
// transfer that stops delivering for readTimeoutMs fails. One stream may
// run request after request (a snapshot camera): the transfer handle, its
// settings and the receive buffer are kept, so the program's own code
// allocates nothing per request.

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "BodyReader.h"

namespace cx {

struct HttpRequest {
    std::string host;
    int port = 0;  // 0: the default HTTP port
    std::string path;
    std::string login;
    std::string password;
    std::vector<std::string> headers;  // complete lines without CR LF, e.g. "Accept: image/jpeg"
    long connectTimeoutMs = 3000;
    long connectBackoffMs = 1000;
    int connectRetries = 1;
    int readTimeoutMs = 10000;

    bool operator==(const HttpRequest&) const = default;
};

class HttpStream final : public BodyReader {
public:
    // `cancelled` is asked between slices of every wait.
    explicit HttpStream(std::function<bool()> cancelled = {});
    ~HttpStream();
    HttpStream(const HttpStream&) = delete;
    HttpStream& operator=(const HttpStream&) = delete;

    // Sends the request and waits for the response head. Returns the HTTP
    // status, or 0 when no response came (errorText() tells why). A request
    // equal to the previous one reuses the transfer's settings (and its
    // connection, when the camera kept it open).
    int open(const HttpRequest& request);

    // The final response's header lines, each ending in CR LF.
    const std::string& headers() const { return headers_; }
    // The announced Content-Length, -1 when none.
    long long contentLength() const;

    // The next body line without its line end; lines longer than maxLength
    // come in pieces. End when the body is over.
    ReadResult readLine(std::string& line, size_t maxLength = 65536) override;
    // Reads until n bytes arrived or the body ended; `got` tells how many.
    ReadResult readBytes(uint8_t* data, size_t n, size_t& got) override;
    ReadResult appendBytes(std::vector<uint8_t>& out, size_t n, size_t& got) override;
    // Frames up to half the pause threshold are lent in place.
    bool canLend(size_t n) const override;
    ReadResult lend(size_t n, size_t& at) override;
    std::span<const uint8_t> lent(size_t at, size_t n) const override;
    void release() override { pinned_ = false; }
    // Waits until some body bytes are there to read.
    ReadResult waitForData();
    // Body bytes already received and not yet read.
    size_t buffered() const { return buffer_.size() - offset_; }

    const std::string& errorText() const { return error_; }
    // Ends the running transfer (an unfinished one drops its connection),
    // keeping the handles for the next request.
    void endTransfer();
    void close();

private:
    static size_t onBody(char* data, size_t size, size_t count, void* self);
    static size_t onHeader(char* data, size_t size, size_t count, void* self);
    static int onSocket(CURL* easy, curl_socket_t socket, int what, void* self, void* socketData);
    static int onTimer(CURLM* multi, long timeoutMs, void* self);
    bool start(const HttpRequest& request);
    bool configure(const HttpRequest& request);
    // Runs the transfer for one slice; false when it can deliver no more.
    bool pump();
    // Pumps until `ready` holds, the body ends or the wait fails.
    template <class Ready>
    ReadResult waitUntil(Ready ready);
    // Hands up to n buffered bytes to `copy(from, count, offsetSoFar)`, waiting for more as needed.
    template <class Copy>
    ReadResult takeBytes(size_t n, size_t& got, Copy copy);
    void compact();

    std::function<bool()> cancelled_;
    CURL* easy_ = nullptr;
    CURLM* multi_ = nullptr;
    // What the transfer waits for, as libcurl tells it: a socket for the
    // connection (two while it tries two addresses, one more for the
    // resolver) and a timer.
    struct Watched {
        curl_socket_t socket = CURL_SOCKET_BAD;
        int what = 0;  // CURL_POLL_IN, _OUT, _INOUT
    };
    static constexpr int maxSockets = 4;
    Watched sockets_[maxSockets];
    bool timerSet_ = false;
    std::chrono::steady_clock::time_point timerDue_;
    curl_slist* headerList_ = nullptr;
    bool attached_ = false;        // easy_ is in multi_
    bool configured_ = false;      // easy_ carries lastRequest_'s settings
    HttpRequest lastRequest_;
    std::string url_;
    std::string headers_;
    bool headComplete_ = false;
    bool done_ = false;
    bool paused_ = false;
    CURLcode result_ = CURLE_OK;
    std::string buffer_;
    size_t offset_ = 0;
    bool pinned_ = false;  // lent bytes: the buffer is not compacted (appending keeps offsets)
    int readTimeoutMs_ = 10000;
    std::string error_;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
};

}  // namespace cx
