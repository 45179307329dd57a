// HTTP and HTTPS read streams: "http::host/path" and "https::host/path" URLs.
//
// The body is read as it arrives: Read waits only until some bytes are there. Everything read is
// kept, so the stream can seek back (the image and sound loaders do). A status other than 2xx,
// a failed certificate check, too many redirects, a stall longer than the time-out or a body cut
// short gives Null when opening, or a Read of 0 without Eof() later; NetError() names the URL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <corvex/runtime/object.h>
#include <corvex/stream/stream.h>

namespace corvex {

constexpr int64_t MAX_HTTP_BODY_BYTES = int64_t{1} << 30;  // larger bodies fail: positions are 32-bit

// How HTTP streams are fetched.
struct THttpOptions {
    int32_t timeoutMs = 30000;        // connecting, and the longest wait for any next byte
    int32_t maxRedirects = 8;         // redirects followed; more fail
    bool verifyPeer = true;           // check the server's certificate and name (HTTPS)
    std::string caFile;               // extra trusted certificates (PEM); "" the system's only
    std::string userAgent = "Corvex"; // the User-Agent header
};

// A GET of one URL (through libcurl, or WinHTTP on Windows).
class THttpStream : public TStream {
public:
    // "http://..." or "https://..."; Null with NetError() unless the final status is 2xx.
    static Ref<THttpStream> Open(std::string_view url, const THttpOptions& options);
    ~THttpStream() override;

    int32_t Status() const { return _status; }        // the final HTTP status
    const std::string& Url() const { return _url; }   // the URL asked for
    bool Failed() const { return !_error.empty(); }   // the transfer broke off
    int32_t Received() const { return static_cast<int32_t>(_body.size()); }  // bytes arrived so far

    bool Eof() override;       // the whole body arrived and has been read
    int32_t Pos() override { return _pos; }
    int32_t Size() override;   // Content-Length when given, else the bytes arrived so far
    int32_t Seek(int32_t pos) override;  // within 0..body size, waiting for bytes ahead as needed
    int32_t Close() override;  // ends the transfer
    int32_t Read(void* buf, int32_t count) override;  // waits for at least one byte; 0 at the end

    struct TTransfer;  // the back end's side of one transfer

private:
    THttpStream() = default;
    bool Begin(const THttpOptions& options);  // starts the transfer; false with NetError() set
    bool Pump(int32_t waitMs);  // moves the transfer on; false once it is over
    void EndTransfer();         // releases the back end's side of the transfer, if any
    bool Append(const void* data, size_t count);  // keeps body bytes; false past MAX_HTTP_BODY_BYTES
    void WaitFor(size_t need);  // pumps until need bytes arrived, the end, or a stall past the time-out
    void Fail(std::string why);

    TTransfer* _transfer = nullptr;
    std::string _url;
    std::vector<uint8_t> _body;
    int32_t _pos = 0;
    int32_t _status = 0;
    int64_t _length = -1;
    bool _done = false;
    std::string _error;
    int32_t _timeoutMs = 30000;
    friend struct TTransfer;
};

// Serves "http::" and "https::" (read-only) with HttpOptions().
class THttpStreamFactory : public TStreamFactory {
public:
    Ref<TStream> CreateStream(const TUrl& url, const TString& proto, const TString& path,
                              bool readable, bool writeable) override;
};

void SetHttpOptions(const THttpOptions& options);  // for the streams the URL factory opens from now on
THttpOptions HttpOptions();                         // the current options

}  // namespace corvex
