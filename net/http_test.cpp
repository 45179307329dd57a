// HTTP and HTTPS streams against servers run by the test on loopback.
#include <corvex/audio/audio.h>
#include <corvex/audio/loader.h>
#include <corvex/net/http.h>
#include <corvex/net/socket.h>
#include <corvex/pixmap/format.h>
#include <corvex/pixmap/loader.h>
#include <corvex/pixmap/png.h>

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
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

// A small HTTP/1.0 server on 127.0.0.1, one thread per connection, optionally over TLS.
class TestServer {
public:
    explicit TestServer(SSL_CTX* tls = nullptr) : _tls(tls) {
        _listen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(_listen, 16);
        socklen_t len = sizeof a;
        getsockname(_listen, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        _acceptor = std::thread([this] { AcceptLoop(); });
    }
    ~TestServer() {
        _stop = true;
        Release();
        _acceptor.join();
        for (std::thread& t : _workers) t.join();
        close(_listen);
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
        int fd;
        SSL* ssl;
        bool Write(const std::string& s) const {
            return ssl ? SSL_write(ssl, s.data(), int(s.size())) == int(s.size())
                       : send(fd, s.data(), s.size(), MSG_NOSIGNAL) == ssize_t(s.size());
        }
        int Read(char* buf, int n) const { return ssl ? SSL_read(ssl, buf, n) : int(recv(fd, buf, size_t(n), 0)); }
    };

    void AcceptLoop() {
        while (!_stop) {
            pollfd p{_listen, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            const int fd = accept(_listen, nullptr, nullptr);
            if (fd >= 0) _workers.emplace_back([this, fd] { Serve(fd); });
        }
    }

    void Serve(int fd) {
        Conn c{fd, nullptr};
        if (_tls) {
            c.ssl = SSL_new(_tls);
            SSL_set_fd(c.ssl, fd);
            if (SSL_accept(c.ssl) <= 0) {  // the client refused the certificate
                SSL_free(c.ssl);
                close(fd);
                return;
            }
        }
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
        if (c.ssl) {
            SSL_shutdown(c.ssl);
            SSL_free(c.ssl);
        }
        close(fd);
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
    int _listen = -1;
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
    const fs::path dir = fs::temp_directory_path() / ("corvex-http-" + std::to_string(getpid()));
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

// A certificate for 127.0.0.1 made with the openssl program; refused until trusted.
TEST_F(HttpTest, HttpsVerifiesCertificates) {
    const fs::path dir = fs::temp_directory_path() / ("corvex-tls-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string cert = (dir / "cert.pem").string(), key = (dir / "key.pem").string();
    const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                                "-addext subjectAltName=IP:127.0.0.1 -keyout " + key + " -out " + cert +
                                " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    ASSERT_EQ(SSL_CTX_use_certificate_file(ctx, cert.c_str(), SSL_FILETYPE_PEM), 1);
    ASSERT_EQ(SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM), 1);
    {
        TestServer tls(ctx);
        tls.Add("/secret", Bytes{'o', 'k'});
        EXPECT_FALSE(ReadUrlStream(tls.Url("/secret")));  // not trusted by default
        const std::string why = ToUtf8(NetError());
        EXPECT_NE(why.find("https://127.0.0.1:" + std::to_string(tls.port) + "/secret"), std::string::npos) << why;

        THttpOptions trusting;
        trusting.caFile = cert;
        SetHttpOptions(trusting);
        Ref<TStream> s = ReadUrlStream(tls.Url("/secret"));
        ASSERT_TRUE(s) << ToUtf8(NetError());
        EXPECT_EQ(ReadAll(s), "ok");
        s->Close();
    }
    SSL_CTX_free(ctx);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace corvex
