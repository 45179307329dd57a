// HTTP and HTTPS streams against servers run by the test on loopback.
#include <corvex/audio/audio.h>
#include <corvex/audio/loader.h>
#include <corvex/net/http.h>
#include <corvex/net/socket.h>
#include <corvex/pixmap/format.h>
#include <corvex/pixmap/loader.h>
#include <corvex/pixmap/png.h>

#include <gtest/gtest.h>
#if CORVEX_TEST_OPENSSL
#include <openssl/err.h>
#include <openssl/ssl.h>
#endif

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <process.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/test_sounds.h"

namespace corvex {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

#ifdef _WIN32
using Socket = SOCKET;
using SockLen = int;
constexpr int SEND_FLAGS = 0;
void CloseSocket(Socket s) { closesocket(s); }
int PollSockets(WSAPOLLFD* p, ULONG n, int ms) { return WSAPoll(p, n, ms); }
using PollFd = WSAPOLLFD;
int ProcessId() { return _getpid(); }
#else
using Socket = int;
using SockLen = socklen_t;
constexpr int SEND_FLAGS = MSG_NOSIGNAL;
void CloseSocket(Socket s) { close(s); }
int PollSockets(pollfd* p, nfds_t n, int ms) { return poll(p, n, ms); }
using PollFd = pollfd;
int ProcessId() { return getpid(); }
#endif
#if !CORVEX_TEST_OPENSSL
using SSL_CTX = void;  // no TLS server in this build
#endif

// A small HTTP/1.0 server on 127.0.0.1, one thread per connection, optionally over TLS.
class TestServer {
public:
    explicit TestServer(SSL_CTX* tls = nullptr) : _tls(tls) {
        StartNetModule();  // sockets ready (Winsock) before the fixture's SetUp
        _listen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(_listen, 16);
        SockLen len = sizeof a;
        getsockname(_listen, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        _acceptor = std::thread([this] { AcceptLoop(); });
    }
    ~TestServer() {
        _stop = true;
        Release();
        _acceptor.join();
        for (std::thread& t : _workers) t.join();
        CloseSocket(_listen);
    }
    void Add(const std::string& path, Bytes body) { _files[path] = std::move(body); }
    void Release() {  // lets "/slow" send its second half
        std::lock_guard lock(_mutex);
        _released = true;
        _cv.notify_all();
    }
    std::string Url(const std::string& path) const {
        return std::string(_tls ? "https" : "http") + "::127.0.0.1:" + std::to_string(port) + path;
    }
    int port = 0;
    std::atomic<int> requests{0};

private:
    struct Conn {
        Socket fd;
#if CORVEX_TEST_OPENSSL
        SSL* ssl;
        bool Write(const std::string& s) const {
            return ssl ? SSL_write(ssl, s.data(), int(s.size())) == int(s.size())
                       : send(fd, s.data(), int(s.size()), SEND_FLAGS) == int(s.size());
        }
        int Read(char* buf, int n) const { return ssl ? SSL_read(ssl, buf, n) : int(recv(fd, buf, n, 0)); }
#else
        bool Write(const std::string& s) const { return send(fd, s.data(), int(s.size()), SEND_FLAGS) == int(s.size()); }
        int Read(char* buf, int n) const { return int(recv(fd, buf, n, 0)); }
#endif
    };

    void AcceptLoop() {
        while (!_stop) {
            PollFd p{_listen, POLLIN, 0};
            if (PollSockets(&p, 1, 50) <= 0) continue;
            const Socket fd = accept(_listen, nullptr, nullptr);
            if (fd != Socket(-1)) _workers.emplace_back([this, fd] { Serve(fd); });
        }
    }

    void Serve(Socket fd) {
#if CORVEX_TEST_OPENSSL
        Conn c{fd, nullptr};
        if (_tls) {
            c.ssl = SSL_new(_tls);
            SSL_set_fd(c.ssl, fd);
            if (SSL_accept(c.ssl) <= 0) {  // the client refused the certificate
                SSL_free(c.ssl);
                CloseSocket(fd);
                return;
            }
        }
#else
        Conn c{fd};
#endif
        std::string request;
        char buf[1024];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 8192) {
            const int n = c.Read(buf, sizeof buf);
            if (n <= 0) break;
            request.append(buf, size_t(n));
        }
        ++requests;
        const size_t sp = request.find(' ');
        const std::string path = request.substr(sp + 1, request.find(' ', sp + 1) - sp - 1);
        Respond(c, path);
#if CORVEX_TEST_OPENSSL
        if (c.ssl) {
            SSL_shutdown(c.ssl);
            SSL_free(c.ssl);
        }
#endif
        CloseSocket(fd);
    }

    static std::string Head(int status, size_t length, const std::string& extra = "") {
        return "HTTP/1.0 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(length) +
               "\r\n" + extra + "\r\n";
    }

    void Respond(const Conn& c, const std::string& path) {
        if (path == "/redirect") {
            c.Write(Head(302, 0, "Location: /second\r\n"));
        } else if (path == "/second") {
            c.Write(Head(301, 0, "Location: " + Url("/hello").replace(Url("").find("::"), 2, "://") + "\r\n"));
        } else if (path == "/loop") {
            c.Write(Head(302, 0, "Location: /loop\r\n"));
        } else if (path == "/slow") {
            c.Write(Head(200, 8) + "half");
            std::unique_lock lock(_mutex);
            _cv.wait_for(lock, std::chrono::seconds(5), [this] { return _released; });
            c.Write("done");
        } else if (path == "/cut") {
            c.Write(Head(200, 1000) + "only this");
        } else if (path == "/stall") {
            c.Write(Head(200, 10) + "ab");
            std::unique_lock lock(_mutex);
            _cv.wait_for(lock, std::chrono::seconds(5), [this] { return _released; });
        } else if (auto it = _files.find(path); it != _files.end()) {
            c.Write(Head(200, it->second.size()) + std::string(it->second.begin(), it->second.end()));
        } else {
            c.Write(Head(404, 4) + "nope");
        }
    }

    SSL_CTX* _tls;
    Socket _listen{};
    std::atomic<bool> _stop{false};
    std::thread _acceptor;
    std::vector<std::thread> _workers;
    std::map<std::string, Bytes> _files;
    std::mutex _mutex;
    std::condition_variable _cv;
    bool _released = false;
};

std::string ReadAll(const Ref<TStream>& s) {
    std::string out;
    char buf[256];
    while (!s->Eof()) {
        const int32_t n = s->Read(buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, size_t(n));
    }
    return out;
}

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartNetModule();
        StartPixmapModule();
        StartAudioModule();
        SetHttpOptions(THttpOptions{});
        server.Add("/hello", Bytes{'h', 'e', 'l', 'l', 'o'});
    }
    void TearDown() override { SetHttpOptions(THttpOptions{}); }
    TestServer server;
};

TEST_F(HttpTest, BodyRedirectsAndStatus) {
    Ref<TStream> s = ReadUrlStream(server.Url("/hello"));
    ASSERT_TRUE(s) << ToUtf8(NetError());
    EXPECT_EQ(s->Size(), 5);
    EXPECT_EQ(ReadAll(s), "hello");
    EXPECT_TRUE(s->Eof());
    s->Close();

    // Two redirects, the second to an absolute URL.
    Ref<TStream> r = ReadUrlStream(server.Url("/redirect"));
    ASSERT_TRUE(r) << ToUtf8(NetError());
    EXPECT_EQ(ReadAll(r), "hello");

    // Not 2xx: Null, with the URL and status in the reason.
    EXPECT_FALSE(ReadUrlStream(server.Url("/missing")));
    const std::string why = ToUtf8(NetError());
    EXPECT_NE(why.find("/missing"), std::string::npos) << why;
    EXPECT_NE(why.find("404"), std::string::npos) << why;

    // A redirect loop stops at the limit.
    THttpOptions few;
    few.maxRedirects = 3;
    const int before = server.requests;
    EXPECT_FALSE(THttpStream::Open("http://127.0.0.1:" + std::to_string(server.port) + "/loop", few));
    EXPECT_EQ(server.requests - before, 4);
    EXPECT_FALSE(WriteUrlStream(server.Url("/hello")));  // read-only
}

TEST_F(HttpTest, BodyReadableAsItArrivesAndSeekable) {
    Ref<TStream> s = ReadUrlStream(server.Url("/slow"));
    ASSERT_TRUE(s) << ToUtf8(NetError());
    char buf[8] = {};
    // The first half is there while the server still holds the rest back.
    EXPECT_EQ(s->Read(buf, 8), 4);
    EXPECT_EQ(std::string(buf, 4), "half");
    server.Release();
    EXPECT_EQ(s->ReadString(4), u"done");
    EXPECT_TRUE(s->Eof());
    EXPECT_EQ(s->Seek(2), 2);
    EXPECT_EQ(s->ReadString(4), u"lfdo");
}

TEST_F(HttpTest, CutShortAndStalledBodiesFail) {
    Ref<TStream> cut = ReadUrlStream(server.Url("/cut"));
    ASSERT_TRUE(cut);
    EXPECT_EQ(ReadAll(cut), "only this");
    EXPECT_FALSE(cut->Eof());  // not a clean end
    EXPECT_THROW(cut->ReadInt(), TStreamReadException);
    EXPECT_NE(ToUtf8(NetError()).find("/cut"), std::string::npos) << ToUtf8(NetError());

    THttpOptions quick;
    quick.timeoutMs = 200;
    SetHttpOptions(quick);
    Ref<TStream> stall = ReadUrlStream(server.Url("/stall"));
    ASSERT_TRUE(stall);
    char buf[10];
    EXPECT_EQ(stall->Read(buf, 10), 2);
    EXPECT_EQ(stall->Read(buf, 10), 0);  // after the time-out
    EXPECT_NE(ToUtf8(NetError()).find("timed out"), std::string::npos) << ToUtf8(NetError());
    server.Release();

    // Nothing listening.
    int32_t port;
    {
        Ref<TSocket> probe = TSocket::Listen("127.0.0.1", 0);
        port = probe->LocalAddress().port;
    }
    EXPECT_FALSE(ReadUrlStream("http::127.0.0.1:" + std::to_string(port) + "/x"));
    EXPECT_NE(ToUtf8(NetError()).find(std::to_string(port)), std::string::npos) << ToUtf8(NetError());
}

TEST_F(HttpTest, ImagesAndSoundsLoadOverHttp) {
    const fs::path dir = fs::temp_directory_path() / ("corvex-http-" + std::to_string(ProcessId()));
    fs::create_directories(dir);
    Ref<TPixmap> picture = TPixmap::Create(3, 2, FORMAT_RGBA8888, 4);
    picture->WritePixel(2, 1, 0xff102030u);
    ASSERT_TRUE(SavePngPixmap(picture, (dir / "p.png").string()));
    server.Add("/picture.png", testsounds::ReadFile((dir / "p.png").string()));
    testsounds::TWavLayout wav;
    wav.data = testsounds::PackPcm(testsounds::Sine(8000, 800, {440}, 0.5), 16, false);
    wav.rate = 8000;
    server.Add("/sound.wav", testsounds::BuildWav(wav));
    fs::remove_all(dir);

    Ref<TPixmap> loaded = LoadPixmap(server.Url("/picture.png"));
    ASSERT_TRUE(loaded) << ToUtf8(NetError());
    EXPECT_EQ(loaded->width, 3);
    EXPECT_EQ(loaded->ReadPixel(2, 1), 0xff102030u);
    Ref<TSample> sample = LoadSample(server.Url("/sound.wav"));
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->length, 800);
}

#ifdef _WIN32
// The openssl program, when there is one: on the PATH, or the host's own under Wine (which starts
// Unix programs but cannot wait for them, so callers watch for their output files instead).
std::string OpenSslProgram() {
    char found[MAX_PATH];
    if (SearchPathA(nullptr, "openssl.exe", nullptr, MAX_PATH, found, nullptr)) return found;
    if (GetFileAttributesA("Z:\\usr\\bin\\openssl") != INVALID_FILE_ATTRIBUTES) return "Z:\\usr\\bin\\openssl";
    return {};
}

bool Spawn(const std::string& program, const std::string& args, const fs::path& dir) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE quiet = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = quiet;
    PROCESS_INFORMATION pi{};
    std::string line = "openssl " + args;
    const bool started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        dir.string().c_str(), &si, &pi);
    if (quiet != INVALID_HANDLE_VALUE) CloseHandle(quiet);
    if (!started) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

bool Accepts(int port) {
    Ref<TSocket> s = TSocket::Connect("127.0.0.1", port, 1000);
    return s != nullptr;
}
#endif

// Makes cert.pem and key.pem for 127.0.0.1 in dir with the openssl program; "" or why not.
std::string MakeCertificate(const fs::path& dir) {
#ifdef _WIN32
    // The name also as a DNS entry: Wine matches the host only against those (Windows and OpenSSL
    // take the IP entry).
    const std::string args = "req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                             "-addext subjectAltName=IP:127.0.0.1,DNS:127.0.0.1 -keyout key.pem -out cert.pem";
    const std::string program = OpenSslProgram();
    if (program.empty()) return "no openssl program";
    if (!Spawn(program, args, dir)) return "openssl did not start";
    for (int i = 0; i < 300; ++i) {
        std::ifstream cert(dir / "cert.pem");
        const std::string text((std::istreambuf_iterator<char>(cert)), std::istreambuf_iterator<char>());
        if (text.find("-----END CERTIFICATE-----") != std::string::npos && fs::file_size(dir / "key.pem") > 0) return "";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "openssl made no certificate";
#else
    const std::string args = "req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                             "-addext subjectAltName=IP:127.0.0.1 -keyout key.pem -out cert.pem";
    const std::string command = "cd '" + dir.string() + "' && openssl " + args + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 ? "" : "openssl made no certificate";
#endif
}

// An HTTPS server on 127.0.0.1 with dir's certificate, serving "/secret": the test's own server
// on OpenSSL, else (on Windows) the openssl program's file server.
class TlsServer {
public:
    explicit TlsServer(const fs::path& dir) {
#if CORVEX_TEST_OPENSSL
        _ctx = SSL_CTX_new(TLS_server_method());
        if (SSL_CTX_use_certificate_file(_ctx, (dir / "cert.pem").string().c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(_ctx, (dir / "key.pem").string().c_str(), SSL_FILETYPE_PEM) != 1) {
            failure = "the certificate did not load";
            return;
        }
        _server = std::make_unique<TestServer>(_ctx);
        _server->Add("/secret", Bytes{'o', 'k'});
        port = _server->port;
#elif defined(_WIN32)
        {
            // A whole response, with its length: without one the body ends only when the server
            // closes, which s_server does only once the client has closed (WinHTTP under Wine waits).
            std::ofstream(dir / "secret", std::ios::binary) << "HTTP/1.0 200 ok\r\nContent-Length: 2\r\n\r\nok";
            Ref<TSocket> probe = TSocket::Listen("127.0.0.1", 0);
            port = probe->LocalAddress().port;
        }
        // Ends by itself after this many connections (Wine cannot end a Unix program); the
        // destructor connects until it is gone.
        if (!Spawn(OpenSslProgram(), "s_server -quiet -HTTP -naccept 10 -cert cert.pem -key key.pem -accept " +
                                         std::to_string(port), dir)) {
            failure = "openssl s_server did not start";
            return;
        }
        for (int i = 0; i < 100 && !Accepts(port); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
#else
        (void)dir;
        failure = "no TLS server: OpenSSL is not built for this target";
#endif
    }
    ~TlsServer() {
#if CORVEX_TEST_OPENSSL
        _server.reset();
        if (_ctx) SSL_CTX_free(_ctx);
#elif defined(_WIN32)
        for (int i = 0; i < 10 && Accepts(port); ++i) {
        }
#endif
    }
    std::string Url(const std::string& path) const { return "https::127.0.0.1:" + std::to_string(port) + path; }
    std::string failure;  // why there is no server
    int port = 0;

private:
#if CORVEX_TEST_OPENSSL
    SSL_CTX* _ctx = nullptr;
    std::unique_ptr<TestServer> _server;
#endif
};

// A certificate for 127.0.0.1 made with the openssl program; refused until trusted.
TEST_F(HttpTest, HttpsVerifiesCertificates) {
    // Fresh each run (Wine reuses process ids) and removed however the test ends.
    struct TempDir {
        fs::path path = fs::temp_directory_path() / ("corvex-tls-" + std::to_string(ProcessId()));
        TempDir() {
            fs::remove_all(path);
            fs::create_directories(path);
        }
        ~TempDir() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } temp;
    const fs::path& dir = temp.path;
    const std::string made = MakeCertificate(dir);
    if (!made.empty()) GTEST_SKIP() << made;
    {
        TlsServer tls(dir);
        if (!tls.failure.empty()) GTEST_SKIP() << tls.failure;
        EXPECT_FALSE(ReadUrlStream(tls.Url("/secret")));  // not trusted by default
        const std::string why = ToUtf8(NetError());
        EXPECT_NE(why.find("https://127.0.0.1:" + std::to_string(tls.port) + "/secret"), std::string::npos) << why;

        THttpOptions trusting;
        trusting.caFile = (dir / "cert.pem").string();
        SetHttpOptions(trusting);
        Ref<TStream> s = ReadUrlStream(tls.Url("/secret"));
        ASSERT_TRUE(s) << ToUtf8(NetError());
        EXPECT_EQ(ReadAll(s), "ok");
        s->Close();
    }
}

}  // namespace
}  // namespace corvex
