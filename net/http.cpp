// HTTP streams on libcurl's multi interface, driven from Read so a body is readable as it arrives.
#include <corvex/net/http.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <strings.h>
#include <curl/curl.h>
#include <mutex>

#include "net/net_module.h"

namespace corvex {

namespace {

THttpOptions& Options() {
    static THttpOptions options;
    return options;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

struct THttpStream::TTransfer {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    THttpStream* owner = nullptr;
    bool headersDone = false;  // the final response's headers are in
    bool location = false;     // the current response has a Location header
    char errorText[CURL_ERROR_SIZE] = {};

    ~TTransfer() {
        if (easy) {
            curl_multi_remove_handle(multi, easy);
            curl_easy_cleanup(easy);
        }
        if (multi) curl_multi_cleanup(multi);
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* user) {
        auto* t = static_cast<TTransfer*>(user);
        const size_t n = size * count;
        THttpStream& s = *t->owner;
        if (static_cast<int64_t>(s._body.size() + n) > MAX_HTTP_BODY_BYTES) return 0;  // aborts: too large
        s._body.insert(s._body.end(), data, data + n);
        return n;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
        auto* t = static_cast<TTransfer*>(user);
        const size_t n = size * count;
        const std::string_view line(data, n);
        if (line.starts_with("HTTP/")) t->location = false;
        if (line.size() > 9 && strncasecmp(data, "location:", 9) == 0) t->location = true;
        if (line == "\r\n" || line == "\n") {
            // End of one response's headers: the last one unless it is interim or a redirect.
            long code = 0;
            curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &code);
            const bool interim = code / 100 == 1 || (code / 100 == 3 && t->location);
            if (!interim) {
                t->headersDone = true;
                t->owner->_status = static_cast<int32_t>(code);
            }
        }
        return n;
    }
};

THttpStream::~THttpStream() { Close(); }

void THttpStream::Fail(std::string why) {
    if (_error.empty()) {
        _error = std::move(why);
        SetNetError("Cannot read " + _url + ": " + _error);
    }
    _done = true;
}

bool THttpStream::Pump(int32_t waitMs) {
    if (_done || !_transfer) return false;
    int running = 0;
    curl_multi_perform(_transfer->multi, &running);
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(_transfer->multi, &queued)) {
        if (msg->msg != CURLMSG_DONE) continue;
        const CURLcode rc = msg->data.result;
        if (!_transfer->headersDone) {
            long code = 0;
            curl_easy_getinfo(_transfer->easy, CURLINFO_RESPONSE_CODE, &code);
            _status = static_cast<int32_t>(code);
            _transfer->headersDone = true;
        }
        if (rc != CURLE_OK) {
            Fail(rc == CURLE_WRITE_ERROR ? "body larger than 2^30 bytes"
                 : _transfer->errorText[0] ? _transfer->errorText
                                           : curl_easy_strerror(rc));
        }
        _done = true;
        return false;
    }
    if (running && waitMs > 0) curl_multi_poll(_transfer->multi, nullptr, 0, waitMs, nullptr);
    return true;
}

Ref<THttpStream> THttpStream::Open(std::string_view url, const THttpOptions& options) {
    GlobalInit();
    Ref<THttpStream> s(new THttpStream());
    s->_url = std::string(url);
    s->_timeoutMs = options.timeoutMs > 0 ? options.timeoutMs : 30000;
    auto* t = new TTransfer();
    s->_transfer = t;
    t->owner = s.get();
    t->multi = curl_multi_init();
    t->easy = curl_easy_init();
    if (!t->multi || !t->easy) {
        SetNetError("Cannot read " + s->_url + ": libcurl did not start");
        return nullptr;
    }
    CURL* e = t->easy;
    curl_easy_setopt(e, CURLOPT_URL, s->_url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(options.maxRedirects));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, options.verifyPeer ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, options.verifyPeer ? 2L : 0L);
    if (!options.caFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, options.caFile.c_str());
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(s->_timeoutMs));
    curl_easy_setopt(e, CURLOPT_USERAGENT, options.userAgent.c_str());
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->errorText);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &TTransfer::OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &TTransfer::OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, t);
    curl_multi_add_handle(t->multi, e);

    // Up to the final response's headers.
    int64_t last = NowMs();
    while (!t->headersDone && !s->_done) {
        s->Pump(50);
        if (NowMs() - last > s->_timeoutMs)
            s->Fail("no response within " + std::to_string(s->_timeoutMs) + " ms");
    }
    // A 2xx body that broke off later is still opened: Read gives what came, then fails.
    if (s->_status / 100 != 2) {
        if (!s->Failed()) SetNetError("Cannot read " + s->_url + ": HTTP status " + std::to_string(s->_status));
        return nullptr;
    }
    curl_off_t length = -1;
    if (curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0 &&
        length <= MAX_HTTP_BODY_BYTES)
        s->_length = length;
    if (!s->Failed()) ClearNetError();
    return s;
}

void THttpStream::WaitFor(size_t need) {
    int64_t last = NowMs();
    size_t had = _body.size();
    while (!_done && _body.size() < need) {
        Pump(50);
        if (_body.size() > had) {
            had = _body.size();
            last = NowMs();
        } else if (NowMs() - last > _timeoutMs) {
            Fail("timed out after " + std::to_string(_timeoutMs) + " ms without data");
        }
    }
}

bool THttpStream::Eof() {
    WaitFor(static_cast<size_t>(_pos) + 1);
    return _pos >= Received() && _done && _error.empty();
}

int32_t THttpStream::Size() { return _length >= 0 ? static_cast<int32_t>(_length) : Received(); }

int32_t THttpStream::Seek(int32_t pos) {
    if (pos < 0) pos = 0;
    WaitFor(static_cast<size_t>(pos));
    _pos = pos < Received() ? pos : Received();
    return _pos;
}

int32_t THttpStream::Close() {
    delete _transfer;
    _transfer = nullptr;
    _done = true;
    return 0;
}

int32_t THttpStream::Read(void* buf, int32_t count) {
    if (count <= 0) return 0;
    WaitFor(static_cast<size_t>(_pos) + 1);
    const int32_t n = std::min(count, Received() - _pos);
    if (n <= 0) return 0;
    std::memcpy(buf, _body.data() + _pos, static_cast<size_t>(n));
    _pos += n;
    return n;
}

Ref<TStream> THttpStreamFactory::CreateStream(const TUrl&, const TString& proto, const TString& path, bool,
                                              bool writeable) {
    if ((proto != u"http" && proto != u"https") || writeable) return nullptr;
    return THttpStream::Open(ToUtf8(proto) + "://" + ToUtf8(path), Options());
}

void SetHttpOptions(const THttpOptions& options) { Options() = options; }

THttpOptions HttpOptions() { return Options(); }

}  // namespace corvex
