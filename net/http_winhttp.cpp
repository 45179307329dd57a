// The HTTP back end on WinHTTP (Windows' own HTTP client; no extra library). Requests are
// synchronous: Pump waits for the next bytes, bounded by WinHTTP's receive time-out, which is
// the stream's time-out. Redirects are followed here rather than by WinHTTP, so the limit and the
// reason given match the other back end.
#include <corvex/net/http.h>

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>

#include "net/http_backend.h"
#include "net/net_module.h"

namespace corvex {

namespace {

std::wstring Widen(std::string_view s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string Narrow(std::wstring_view w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// A reason for a WinHTTP error code, in the words of the other back end where they overlap.
std::string ErrorText(DWORD code, int32_t timeoutMs) {
    switch (code) {
    case ERROR_WINHTTP_CANNOT_CONNECT: return "could not connect to the server";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "could not resolve the host name";
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT: return HttpStallText(timeoutMs);  // Wine gives the socket's code
    case ERROR_WINHTTP_CONNECTION_ERROR: return "the connection broke off";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return "the server's response is not HTTP";
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
    case ERROR_WINHTTP_INVALID_URL: return "not an HTTP or HTTPS URL";
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
        return "the secure connection failed (WinHTTP error " + std::to_string(code) + ")";
    default: return "WinHTTP error " + std::to_string(code);
    }
}

// The certificates of a PEM file, in a memory store; null when none could be read.
HCERTSTORE LoadPem(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (!store) return nullptr;
    int count = 0;
    const std::string_view begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
    for (size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at + 1)) {
        const size_t stop = text.find(end, at);
        if (stop == std::string::npos) break;
        const std::string block = text.substr(at, stop + end.size() - at);
        DWORD size = 0;
        if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                                  nullptr, &size, nullptr, nullptr))
            continue;
        std::string der(size, '\0');
        if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                                 reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr) &&
            CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                             size, CERT_STORE_ADD_USE_EXISTING, nullptr))
            ++count;
    }
    if (count == 0) {
        CertCloseStore(store, 0);
        return nullptr;
    }
    return store;
}

// Whether the server's certificate chains to one the system trusts or to one in extra.
bool ChainTrusted(PCCERT_CONTEXT cert, HCERTSTORE extra) {
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, cert, nullptr, extra, &para, 0, nullptr, &chain)) return false;
    bool ok = chain->TrustStatus.dwErrorStatus == CERT_TRUST_NO_ERROR;
    const DWORD tolerated = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                            CERT_TRUST_IS_OFFLINE_REVOCATION;
    if (!ok && chain->cChain > 0 && (chain->TrustStatus.dwErrorStatus & ~tolerated) == 0) {
        const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
        PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
        PCCERT_CONTEXT c = nullptr;
        while (!ok && (c = CertEnumCertificatesInStore(extra, c)) != nullptr)
            ok = c->cbCertEncoded == root->cbCertEncoded &&
                 std::memcmp(c->pbCertEncoded, root->pbCertEncoded, root->cbCertEncoded) == 0;
        if (c) CertFreeCertificateContext(c);
    }
    CertFreeCertificateChain(chain);
    return ok;
}

}  // namespace

struct THttpStream::TTransfer {
    HINTERNET session = nullptr, connection = nullptr, request = nullptr;
    HCERTSTORE extraRoots = nullptr;
    DWORD secureFailure = 0;  // WINHTTP_CALLBACK_STATUS_FLAG_* of a refused certificate

    static void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD size) {
        if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && context && info && size >= sizeof(DWORD))
            reinterpret_cast<TTransfer*>(context)->secureFailure = *static_cast<DWORD*>(info);
    }

    // Why the TLS connection failed, from what the callback saw.
    std::string SecureFailureText(DWORD code, int32_t timeoutMs) const {
        const DWORD f = secureFailure;
        if (f & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA) return "the server's certificate is not from a trusted authority";
        if (f & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID) return "the server's certificate is not for this host";
        if (f & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) return "the server's certificate has expired or is not yet valid";
        if (f & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED) return "the server's certificate was revoked";
        if (f & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT) return "the server's certificate is invalid";
        return ErrorText(code, timeoutMs);
    }

    void CloseRequest() {
        if (request) WinHttpCloseHandle(request);
        if (connection) WinHttpCloseHandle(connection);
        request = connection = nullptr;
    }
    ~TTransfer() {
        CloseRequest();
        if (session) WinHttpCloseHandle(session);
        if (extraRoots) CertCloseStore(extraRoots, 0);
    }
};

namespace {

// A Location header resolved against the URL it came from.
std::string Resolve(const std::string& base, const std::string& location) {
    if (location.starts_with("http://") || location.starts_with("https://")) return location;
    const size_t scheme = base.find("://");
    if (location.starts_with("//")) return base.substr(0, scheme + 1) + location;
    const size_t pathAt = base.find('/', scheme + 3);
    const std::string origin = pathAt == std::string::npos ? base : base.substr(0, pathAt);
    if (location.starts_with("/")) return origin + location;
    std::string path = pathAt == std::string::npos ? "/" : base.substr(pathAt);
    path = path.substr(0, path.find_first_of("?#"));
    return origin + path.substr(0, path.rfind('/') + 1) + location;
}

std::wstring QueryHeader(HINTERNET request, DWORD which) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
    std::wstring value(size / sizeof(wchar_t), L'\0');
    if (!WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
        return {};
    value.resize(size / sizeof(wchar_t));
    return value;
}

}  // namespace

bool THttpStream::Begin(const THttpOptions& options) {
    auto* t = new TTransfer();
    _transfer = t;
    t->session = WinHttpOpen(Widen(options.userAgent).c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!t->session) {
        SetNetError("Cannot read " + _url + ": WinHTTP did not start");
        return false;
    }
    WinHttpSetTimeouts(t->session, _timeoutMs, _timeoutMs, _timeoutMs, _timeoutMs);
    if (options.verifyPeer && !options.caFile.empty()) {
        t->extraRoots = LoadPem(options.caFile);
        if (!t->extraRoots) {
            SetNetError("Cannot read " + _url + ": no certificate could be read from " + options.caFile);
            return false;
        }
    }

    std::string url = _url;
    for (int redirects = 0;; ++redirects) {
        t->CloseRequest();
        const std::wstring wide = Widen(url);
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
        if (!WinHttpCrackUrl(wide.c_str(), 0, 0, &parts) ||
            (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
            Fail("not an HTTP or HTTPS URL: " + url);
            return true;
        }
        const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
        const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
        std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
        path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        if (path.empty()) path = L"/";
        t->connection = WinHttpConnect(t->session, host.c_str(), parts.nPort, 0);
        if (t->connection)
            t->request = WinHttpOpenRequest(t->connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                            WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
        if (!t->request) {
            Fail(ErrorText(GetLastError(), _timeoutMs));
            return true;
        }
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(t);
        WinHttpSetOption(t->request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
        WinHttpSetStatusCallback(t->request, &TTransfer::OnStatus, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);
        DWORD feature = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(t->request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature);
        DWORD security = 0;
        if (!options.verifyPeer)
            security = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                       SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
        else if (t->extraRoots)
            security = SECURITY_FLAG_IGNORE_UNKNOWN_CA;  // the chain is checked below, against both
        if (secure && security)
            WinHttpSetOption(t->request, WINHTTP_OPTION_SECURITY_FLAGS, &security, sizeof security);

        if (!WinHttpSendRequest(t->request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                                context)) {
            Fail(t->SecureFailureText(GetLastError(), _timeoutMs));
            return true;
        }
        if (secure && t->extraRoots) {
            PCCERT_CONTEXT cert = nullptr;
            DWORD size = sizeof cert;
            const bool trusted =
                WinHttpQueryOption(t->request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size) && cert &&
                ChainTrusted(cert, t->extraRoots);
            if (cert) CertFreeCertificateContext(cert);
            if (!trusted) {
                Fail("the server's certificate is trusted neither by the system nor by " + options.caFile);
                return true;
            }
        }
        if (!WinHttpReceiveResponse(t->request, nullptr)) {
            const DWORD code = GetLastError();
            Fail(code == ERROR_WINHTTP_TIMEOUT ? "no response within " + std::to_string(_timeoutMs) + " ms"
                                               : ErrorText(code, _timeoutMs));
            return true;
        }
        DWORD status = 0, size = sizeof status;
        WinHttpQueryHeaders(t->request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
        const std::wstring location = status / 100 == 3 ? QueryHeader(t->request, WINHTTP_QUERY_LOCATION) : L"";
        if (location.empty()) {
            const std::wstring length = QueryHeader(t->request, WINHTTP_QUERY_CONTENT_LENGTH);
            if (!length.empty()) _length = _wcstoi64(length.c_str(), nullptr, 10);
            _status = static_cast<int32_t>(status);
            return true;
        }
        if (redirects >= options.maxRedirects) {
            _status = static_cast<int32_t>(status);
            Fail("more than " + std::to_string(options.maxRedirects) + " redirects");
            return true;
        }
        url = Resolve(url, Narrow(location));
    }
}

bool THttpStream::Pump(int32_t) {
    if (_done || !_transfer || !_transfer->request) return false;
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(_transfer->request, &available)) {
        Fail(ErrorText(GetLastError(), _timeoutMs));
        return false;
    }
    if (available == 0) {  // the end of the body: short of Content-Length means it broke off
        if (_length >= 0 && static_cast<int64_t>(_body.size()) < _length)
            Fail("the body ended after " + std::to_string(_body.size()) + " of " + std::to_string(_length) +
                 " bytes");
        _done = true;
        return false;
    }
    std::string chunk(available, '\0');
    DWORD got = 0;
    if (!WinHttpReadData(_transfer->request, chunk.data(), available, &got)) {
        Fail(ErrorText(GetLastError(), _timeoutMs));
        return false;
    }
    if (!Append(chunk.data(), got)) {
        Fail("body larger than 2^30 bytes");
        return false;
    }
    return true;
}

void THttpStream::EndTransfer() {
    delete _transfer;
    _transfer = nullptr;
}

}  // namespace corvex
