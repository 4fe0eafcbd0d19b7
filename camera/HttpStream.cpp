#include "HttpStream.h"

#include <poll.h>

#include <cstring>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

namespace cx {

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int sliceMs = 50;
constexpr size_t pauseAbove = 8 * 1024 * 1024;  // stop the transfer while this much waits unread

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool connectFailure(CURLcode rc)
{
    return rc == CURLE_COULDNT_CONNECT || rc == CURLE_OPERATION_TIMEDOUT || rc == CURLE_COULDNT_RESOLVE_HOST;
}

}  // namespace

HttpStream::HttpStream(std::function<bool()> cancelled) : cancelled_(std::move(cancelled))
{
    globalInit();
}

HttpStream::~HttpStream()
{
    close();
}

void HttpStream::endTransfer()
{
    // A paused transfer is resumed first: libcurl keeps the pause otherwise.
    if (attached_ && paused_) curl_easy_pause(easy_, CURLPAUSE_CONT);
    paused_ = false;
    if (attached_) curl_multi_remove_handle(multi_, easy_);
    attached_ = false;
}

void HttpStream::close()
{
    endTransfer();
    if (easy_) curl_easy_cleanup(easy_);
    if (multi_) curl_multi_cleanup(multi_);
    if (headerList_) curl_slist_free_all(headerList_);
    easy_ = nullptr;
    multi_ = nullptr;
    headerList_ = nullptr;
    for (Watched& w : sockets_) w = Watched{};
    timerSet_ = false;
    configured_ = false;
    buffer_.clear();
    offset_ = 0;
    pinned_ = false;
    done_ = true;
    paused_ = false;
}

size_t HttpStream::onBody(char* data, size_t size, size_t count, void* self)
{
    auto* s = static_cast<HttpStream*>(self);
    if (s->buffered() > pauseAbove) {
        s->paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    s->buffer_.append(data, size * count);
    s->headComplete_ = true;
    return size * count;
}

size_t HttpStream::onHeader(char* data, size_t size, size_t count, void* self)
{
    auto* s = static_cast<HttpStream*>(self);
    const std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) s->headers_.clear();  // a new response (after 100 or an auth round)
    s->headers_ += line;
    if (line == "\r\n" || line == "\n") {
        long code = 0;
        curl_easy_getinfo(s->easy_, CURLINFO_RESPONSE_CODE, &code);
        // curl may answer a 401 with credentials on its own; a 401 is final
        // only once the transfer is over.
        if (code >= 200 && code != 401) s->headComplete_ = true;
    }
    return size * count;
}

bool HttpStream::start(const HttpRequest& r)
{
    endTransfer();
    done_ = false;
    result_ = CURLE_OK;
    headers_.clear();
    headComplete_ = false;
    buffer_.clear();  // keeps its capacity for the next body
    offset_ = 0;
    pinned_ = false;
    errorBuffer_[0] = '\0';
    readTimeoutMs_ = r.readTimeoutMs;
    if (!easy_) easy_ = curl_easy_init();
    if (!multi_) {
        multi_ = curl_multi_init();
        if (multi_) {
            curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &HttpStream::onSocket);
            curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
            curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &HttpStream::onTimer);
            curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
        }
    }
    if (!easy_ || !multi_) {
        error_ = "cannot create an HTTP transfer";
        return false;
    }
    if (!configured_ || r != lastRequest_) {
        if (!configure(r)) return false;
    }
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
        error_ = "cannot start an HTTP transfer";
        return false;
    }
    attached_ = true;
    return true;
}

bool HttpStream::configure(const HttpRequest& r)
{
    configured_ = false;
    curl_easy_reset(easy_);
    if (headerList_) curl_slist_free_all(headerList_);
    headerList_ = nullptr;
    const std::string hostPart = r.host.find(':') != std::string::npos ? "[" + r.host + "]" : r.host;
    std::string path = r.path;
    if (path.empty() || path[0] != '/') path.insert(path.begin(), '/');
    url_ = "http://" + hostPart + (r.port > 0 ? ":" + std::to_string(r.port) : std::string()) + path;
    for (const auto& h : r.headers) headerList_ = curl_slist_append(headerList_, h.c_str());

    curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList_);
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);  // redirects are handled by the caller
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, r.connectTimeoutMs);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &HttpStream::onBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &HttpStream::onHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(easy_, CURLOPT_TCP_KEEPALIVE, 1L);
    // A whole camera picture per receive instead of 16 KiB pieces: fewer
    // system calls and wake-ups per frame.
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, 256L * 1024);
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http");
    if (!r.login.empty() || !r.password.empty()) {
        curl_easy_setopt(easy_, CURLOPT_USERNAME, r.login.c_str());
        curl_easy_setopt(easy_, CURLOPT_PASSWORD, r.password.c_str());
        curl_easy_setopt(easy_, CURLOPT_HTTPAUTH, CURLAUTH_BASIC | CURLAUTH_DIGEST);
    }
    lastRequest_ = r;
    configured_ = true;
    return true;
}

bool HttpStream::pump()
{
    if (done_ || !multi_) return false;
    if (paused_ && buffered() <= pauseAbove / 2) {
        paused_ = false;
        curl_easy_pause(easy_, CURLPAUSE_CONT);
    }
    // Wait for what the transfer waits for (its sockets, its timer), at most
    // one slice, then let it act on exactly that: one poll per wake-up,
    // where asking libcurl to look for itself costs two more.
    const auto now = SteadyClock::now();
    long waitMs = sliceMs;
    if (timerSet_) waitMs = std::clamp<long>(
        static_cast<long>(std::chrono::ceil<std::chrono::milliseconds>(timerDue_ - now).count()), 0, sliceMs);
    pollfd polls[maxSockets];
    nfds_t count = 0;
    for (const Watched& w : sockets_) {
        if (w.socket == CURL_SOCKET_BAD) continue;
        const short events = static_cast<short>(((w.what & CURL_POLL_IN) ? POLLIN : 0) |
                                                ((w.what & CURL_POLL_OUT) ? POLLOUT : 0));
        polls[count++] = pollfd{w.socket, events, 0};
    }
    const int ready = ::poll(count > 0 ? polls : nullptr, count, static_cast<int>(waitMs));
    int running = 0;
    for (nfds_t k = 0; ready > 0 && k < count; ++k) {
        const short r = polls[k].revents;
        if (r == 0) continue;
        int bits = 0;
        if (r & (POLLIN | POLLHUP)) bits |= CURL_CSELECT_IN;
        if (r & POLLOUT) bits |= CURL_CSELECT_OUT;
        if (r & (POLLERR | POLLNVAL)) bits |= CURL_CSELECT_ERR;
        curl_multi_socket_action(multi_, polls[k].fd, bits, &running);
    }
    if (timerSet_ && SteadyClock::now() >= timerDue_) {
        timerSet_ = false;
        curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
    }
    int pending = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &pending)) {
        if (msg->msg == CURLMSG_DONE) {
            done_ = true;
            result_ = msg->data.result;
        }
    }
    if (done_) {
        if (result_ != CURLE_OK) error_ = errorBuffer_[0] ? errorBuffer_ : curl_easy_strerror(result_);
        return false;
    }
    return true;
}

int HttpStream::onSocket(CURL*, curl_socket_t socket, int what, void* self, void*)
{
    auto* s = static_cast<HttpStream*>(self);
    Watched* unused = nullptr;
    for (Watched& w : s->sockets_) {
        if (w.socket == socket) {
            if (what == CURL_POLL_REMOVE)
                w.socket = CURL_SOCKET_BAD;
            else
                w.what = what;
            return 0;
        }
        if (w.socket == CURL_SOCKET_BAD && unused == nullptr) unused = &w;
    }
    if (what == CURL_POLL_REMOVE) return 0;
    // More sockets than we watch: fail the transfer rather than miss one.
    if (unused == nullptr) return -1;
    *unused = Watched{socket, what};
    return 0;
}

int HttpStream::onTimer(CURLM*, long timeoutMs, void* self)
{
    auto* s = static_cast<HttpStream*>(self);
    s->timerSet_ = timeoutMs >= 0;
    if (timeoutMs >= 0) s->timerDue_ = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    return 0;
}

template <class Ready>
ReadResult HttpStream::waitUntil(Ready ready)
{
    auto lastProgress = SteadyClock::now();
    size_t lastSize = buffer_.size();
    while (!ready()) {
        if (cancelled_ && cancelled_()) return ReadResult::Cancelled;
        if (!pump()) {
            if (ready()) return ReadResult::Ok;
            return result_ == CURLE_OK ? ReadResult::End : ReadResult::Error;
        }
        if (buffer_.size() != lastSize) {
            lastSize = buffer_.size();
            lastProgress = SteadyClock::now();
        } else if (SteadyClock::now() - lastProgress > std::chrono::milliseconds(readTimeoutMs_)) {
            error_ = "no data from the camera for " + std::to_string(readTimeoutMs_) + " ms";
            return ReadResult::TimedOut;
        }
    }
    return ReadResult::Ok;
}

int HttpStream::open(const HttpRequest& request)
{
    for (int attempt = 0; attempt <= std::max(0, request.connectRetries); ++attempt) {
        if (!start(request)) return 0;
        const ReadResult r = waitUntil([this] { return headComplete_; });
        long code = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
        if (r == ReadResult::Ok || (r == ReadResult::End && code > 0)) return static_cast<int>(code);
        if (r == ReadResult::Cancelled || r == ReadResult::TimedOut) return 0;
        if (!connectFailure(result_) || attempt == request.connectRetries) return 0;
        // One more try after the back-off, unless cancelled meanwhile.
        const auto until = SteadyClock::now() + std::chrono::milliseconds(request.connectBackoffMs);
        while (SteadyClock::now() < until) {
            if (cancelled_ && cancelled_()) return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long>(sliceMs, request.connectBackoffMs)));
        }
    }
    return 0;
}

long long HttpStream::contentLength() const
{
    if (!easy_) return -1;
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) return -1;
    return length;
}

void HttpStream::compact()
{
    if (pinned_) return;
    if (offset_ > 65536 && offset_ * 2 > buffer_.size()) {
        buffer_.erase(0, offset_);
        offset_ = 0;
    }
}

ReadResult HttpStream::readLine(std::string& line, size_t maxLength)
{
    line.clear();
    size_t searched = offset_;
    const ReadResult r = waitUntil([&] {
        const size_t at = buffer_.find('\n', searched);
        if (at != std::string::npos || buffer_.size() - offset_ >= maxLength) return true;
        searched = buffer_.size();
        return false;
    });
    const size_t newline = buffer_.find('\n', offset_);
    if (r != ReadResult::Ok && newline == std::string::npos) {
        // A part line counts only when the body really ended there; a
        // time-out, error or cancel inside a line is reported as such.
        if (r != ReadResult::End || buffered() == 0) return r;
        // The body ended inside a line: hand out what there is.
        line.assign(buffer_, offset_, std::string::npos);
        offset_ = buffer_.size();
        compact();
        return ReadResult::Ok;
    }
    size_t end = newline == std::string::npos ? offset_ + maxLength : newline;
    end = std::min(end, offset_ + maxLength);
    line.assign(buffer_, offset_, end - offset_);
    offset_ = (newline != std::string::npos && end == newline) ? newline + 1 : end;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    compact();
    return ReadResult::Ok;
}

bool HttpStream::canLend(size_t n) const
{
    // Larger pictures could not all wait in the buffer: the transfer pauses first.
    return n <= pauseAbove / 2;
}

ReadResult HttpStream::lend(size_t n, size_t& at)
{
    if (!canLend(n)) return ReadResult::Error;
    const ReadResult r = waitUntil([this, n] { return buffered() >= n; });
    if (buffered() < n) return r == ReadResult::Ok ? ReadResult::End : r;
    at = offset_;
    offset_ += n;
    pinned_ = true;
    return ReadResult::Ok;
}

std::span<const uint8_t> HttpStream::lent(size_t at, size_t n) const
{
    // Read at the buffer's present address: appending may have moved it.
    return {reinterpret_cast<const uint8_t*>(buffer_.data()) + at, n};
}

ReadResult HttpStream::waitForData()
{
    return waitUntil([this] { return buffered() > 0; });
}

template <class Copy>
ReadResult HttpStream::takeBytes(size_t n, size_t& got, Copy copy)
{
    got = 0;
    while (got < n) {
        const size_t take = std::min(n - got, buffered());
        if (take > 0) {
            copy(reinterpret_cast<const uint8_t*>(buffer_.data() + offset_), take, got);
            offset_ += take;
            got += take;
            compact();
            continue;
        }
        const ReadResult r = waitUntil([this] { return buffered() > 0; });
        if (r != ReadResult::Ok) return r;
    }
    return ReadResult::Ok;
}

ReadResult HttpStream::appendBytes(std::vector<uint8_t>& out, size_t n, size_t& got)
{
    // Copied straight from the receive buffer: a picture is not zero-filled first.
    out.reserve(out.size() + n);
    return takeBytes(n, got, [&out](const uint8_t* from, size_t take, size_t) { out.insert(out.end(), from, from + take); });
}

ReadResult HttpStream::readBytes(uint8_t* data, size_t n, size_t& got)
{
    return takeBytes(n, got, [data](const uint8_t* from, size_t take, size_t at) { std::memcpy(data + at, from, take); });
}

}  // namespace cx
