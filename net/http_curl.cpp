// The HTTP back end on libcurl's multi interface, driven from Pump so a body is readable as it
// arrives.
#include <corvex/net/http.h>

#include <cstring>
#include <mutex>
#include <string_view>
#include <strings.h>
#include <curl/curl.h>

#include "net/http_backend.h"
#include "net/net_module.h"

namespace corvex {

namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

struct THttpStream::TTransfer {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    THttpStream* owner = nullptr;
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
        return t->owner->Append(data, n) ? n : 0;  // 0 aborts: too large
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
                curl_off_t length = -1;
                if (curl_easy_getinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK)
                    t->owner->_length = length;
                t->owner->_status = static_cast<int32_t>(code);
            }
        }
        return n;
    }
};

bool THttpStream::Begin(const THttpOptions& options) {
    GlobalInit();
    auto* t = new TTransfer();
    _transfer = t;
    t->owner = this;
    t->multi = curl_multi_init();
    t->easy = curl_easy_init();
    if (!t->multi || !t->easy) {
        SetNetError("Cannot read " + _url + ": libcurl did not start");
        return false;
    }
    CURL* e = t->easy;
    curl_easy_setopt(e, CURLOPT_URL, _url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(options.maxRedirects));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, options.verifyPeer ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, options.verifyPeer ? 2L : 0L);
    if (!options.caFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, options.caFile.c_str());
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(_timeoutMs));
    curl_easy_setopt(e, CURLOPT_USERAGENT, options.userAgent.c_str());
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->errorText);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &TTransfer::OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &TTransfer::OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, t);
    curl_multi_add_handle(t->multi, e);
    return true;
}

bool THttpStream::Pump(int32_t waitMs) {
    if (_done || !_transfer) return false;
    int running = 0;
    curl_multi_perform(_transfer->multi, &running);
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(_transfer->multi, &queued)) {
        if (msg->msg != CURLMSG_DONE) continue;
        const CURLcode rc = msg->data.result;
        if (_status == 0) {
            long code = 0;
            curl_easy_getinfo(_transfer->easy, CURLINFO_RESPONSE_CODE, &code);
            _status = static_cast<int32_t>(code);
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

void THttpStream::EndTransfer() {
    delete _transfer;
    _transfer = nullptr;
}

}  // namespace corvex
