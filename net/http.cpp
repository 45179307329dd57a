// HTTP streams, the part both back ends share: waiting for the response and for body bytes,
// reading, seeking and the URL factory. The transfer itself is in http_curl.cpp or
// http_winhttp.cpp (chosen at build time), which define Begin, Pump and EndTransfer.
#include <corvex/net/http.h>

#include <algorithm>
#include <cstring>

#include "net/http_backend.h"
#include "net/net_module.h"

namespace corvex {

namespace {

THttpOptions& Options() {
    static THttpOptions options;
    return options;
}

}  // namespace

int64_t HttpNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

THttpStream::~THttpStream() { Close(); }

int32_t THttpStream::Close() {
    EndTransfer();
    _done = true;
    return 0;
}

void THttpStream::Fail(std::string why) {
    if (_error.empty()) {
        _error = std::move(why);
        SetNetError("Cannot read " + _url + ": " + _error);
    }
    _done = true;
}

bool THttpStream::Append(const void* data, size_t count) {
    if (static_cast<int64_t>(_body.size() + count) > MAX_HTTP_BODY_BYTES) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    _body.insert(_body.end(), bytes, bytes + count);
    return true;
}

Ref<THttpStream> THttpStream::Open(std::string_view url, const THttpOptions& options) {
    Ref<THttpStream> s(new THttpStream());
    s->_url = std::string(url);
    s->_timeoutMs = options.timeoutMs > 0 ? options.timeoutMs : 30000;
    if (!s->Begin(options)) return nullptr;

    // Up to the final response's headers (the back end sets the status then).
    const int64_t start = HttpNowMs();
    while (s->_status == 0 && !s->_done) {
        s->Pump(50);
        if (s->_status == 0 && HttpNowMs() - start > s->_timeoutMs)
            s->Fail("no response within " + std::to_string(s->_timeoutMs) + " ms");
    }
    // A 2xx body that broke off later is still opened: Read gives what came, then fails.
    if (s->_status / 100 != 2) {
        if (!s->Failed()) SetNetError("Cannot read " + s->_url + ": HTTP status " + std::to_string(s->_status));
        return nullptr;
    }
    if (s->_length > MAX_HTTP_BODY_BYTES) s->_length = -1;
    if (!s->Failed()) ClearNetError();
    return s;
}

void THttpStream::WaitFor(size_t need) {
    int64_t last = HttpNowMs();
    size_t had = _body.size();
    while (!_done && _body.size() < need) {
        Pump(50);
        if (_body.size() > had) {
            had = _body.size();
            last = HttpNowMs();
        } else if (!_done && HttpNowMs() - last > _timeoutMs) {
            Fail(HttpStallText(_timeoutMs));
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
