// Sockets and the TCP stream over loopback.
#ifdef _WIN32
#include <winsock2.h>  // a program may include Winsock first: the public header must not clash with its macros
#endif
#include <corvex/net/socket.h>
#include <corvex/stream/protocols.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace corvex {
namespace {

class SocketTest : public ::testing::Test {
protected:
    void SetUp() override { StartNetModule(); }
};

// A server on loopback with its port, and a connected pair.
struct Pair {
    Ref<TSocket> server, client, accepted;
};

Pair Connected(const char* host) {
    Pair p;
    p.server = TSocket::Listen(host, 0);
    if (!p.server) return p;
    p.client = TSocket::Connect(host, p.server->LocalAddress().port, 2000);
    if (p.client) p.accepted = p.server->Accept();
    return p;
}

TEST_F(SocketTest, TcpOverIpv4AndIpv6) {
    for (const char* host : {"127.0.0.1", "::1", "localhost"}) {
        SCOPED_TRACE(host);
        Pair p = Connected(host);
        ASSERT_TRUE(p.accepted) << ToUtf8(NetError());
        EXPECT_EQ(p.client->RemoteAddress().port, p.server->LocalAddress().port);
        EXPECT_EQ(p.accepted->RemoteAddress(), p.client->LocalAddress());
        EXPECT_EQ(p.client->Send("hello", 5), 5);
        char buf[16] = {};
        ASSERT_TRUE(p.accepted->ReadReady(2000));
        EXPECT_EQ(p.accepted->Recv(buf, sizeof buf), 5);
        EXPECT_EQ(std::string(buf), "hello");
        p.client->Close();
        ASSERT_TRUE(p.accepted->ReadReady(2000));
        EXPECT_EQ(p.accepted->Recv(buf, sizeof buf), 0);  // the peer closed
    }
}

TEST_F(SocketTest, WildcardServerTakesBothFamilies) {
    Ref<TSocket> server = TSocket::Listen("", 0);
    ASSERT_TRUE(server) << ToUtf8(NetError());
    const int32_t port = server->LocalAddress().port;
    EXPECT_TRUE(TSocket::Connect("127.0.0.1", port, 2000)) << ToUtf8(NetError());
    EXPECT_TRUE(TSocket::Connect("::1", port, 2000)) << ToUtf8(NetError());
}

TEST_F(SocketTest, RefusedAndUnresolvedNameHostAndPort) {
    // A port that was just free: nothing listens there.
    int32_t port;
    {
        Ref<TSocket> probe = TSocket::Listen("127.0.0.1", 0);
        ASSERT_TRUE(probe);
        port = probe->LocalAddress().port;
    }
    EXPECT_FALSE(TSocket::Connect("127.0.0.1", port, 2000));
    const std::string refused = ToUtf8(NetError());
    EXPECT_NE(refused.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << refused;
    EXPECT_NE(refused.find("refused"), std::string::npos) << refused;

    EXPECT_FALSE(OpenUrlStream("tcp::no-such-host.invalid:80", true, true));
    const std::string unresolved = ToUtf8(NetError());
    EXPECT_NE(unresolved.find("no-such-host.invalid:80"), std::string::npos) << unresolved;

    EXPECT_FALSE(OpenUrlStream("tcp::127.0.0.1", true, true));  // no port
    EXPECT_FALSE(TSocket::Connect("127.0.0.1", 0, 100));
}

TEST_F(SocketTest, NonBlockingReadinessAndAccept) {
    Ref<TSocket> server = TSocket::Listen("127.0.0.1", 0);
    ASSERT_TRUE(server && server->SetBlocking(false));
    EXPECT_FALSE(server->ReadReady(0));
    EXPECT_FALSE(server->Accept());  // nobody waiting: returns at once
    Ref<TSocket> client = TSocket::Connect("127.0.0.1", server->LocalAddress().port, 2000);
    ASSERT_TRUE(client);
    ASSERT_TRUE(server->ReadReady(2000));
    Ref<TSocket> accepted = server->Accept();
    ASSERT_TRUE(accepted && accepted->SetBlocking(false));
    char buf[8];
    EXPECT_EQ(accepted->Recv(buf, sizeof buf), SOCKET_WOULDBLOCK);
    EXPECT_TRUE(client->WriteReady(0));
    EXPECT_EQ(client->Send("abc", 3), 3);
    ASSERT_TRUE(accepted->ReadReady(2000));
    EXPECT_EQ(accepted->ReadAvail(), 3);
    EXPECT_EQ(accepted->Recv(buf, sizeof buf), 3);
    // Filling the send buffer: a non-blocking Send stops with SOCKET_WOULDBLOCK, not a wait.
    ASSERT_TRUE(accepted->SetBlocking(false));
    std::string big(1 << 16, 'x');
    int32_t rc = 0;
    for (int i = 0; i < 4096 && rc != SOCKET_WOULDBLOCK; ++i) rc = accepted->Send(big.data(), static_cast<int32_t>(big.size()));
    EXPECT_EQ(rc, SOCKET_WOULDBLOCK);
    EXPECT_FALSE(accepted->WriteReady(0));
}

TEST_F(SocketTest, UdpDatagramsBothFamilies) {
    for (const char* host : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(host);
        Ref<TSocket> a = TSocket::CreateUdp(host, 0), b = TSocket::CreateUdp(host, 0);
        ASSERT_TRUE(a && b) << ToUtf8(NetError());
        EXPECT_EQ(a->SendTo("ping!", 5, b->LocalAddress()), 5);
        ASSERT_TRUE(b->ReadReady(2000));
        char buf[3];
        TNetAddress from;
        EXPECT_EQ(b->RecvFrom(buf, sizeof buf, &from), 3);  // cut to the buffer
        EXPECT_EQ(std::string(buf, 3), "pin");
        EXPECT_EQ(from, a->LocalAddress());
        b->SetBlocking(false);
        EXPECT_EQ(b->RecvFrom(buf, sizeof buf, &from), SOCKET_WOULDBLOCK);  // the rest was dropped
    }
    // A dual-stack socket talks to an IPv4 peer and reports it as IPv4.
    Ref<TSocket> any = TSocket::CreateUdp("", 0), v4 = TSocket::CreateUdp("127.0.0.1", 0);
    ASSERT_TRUE(any && v4);
    TNetAddress to = ResolveHost("127.0.0.1", any->LocalAddress().port).at(0);
    EXPECT_EQ(v4->SendTo("x", 1, to), 1);
    ASSERT_TRUE(any->ReadReady(2000));
    char c;
    TNetAddress from;
    EXPECT_EQ(any->RecvFrom(&c, 1, &from), 1);
    EXPECT_EQ(from, v4->LocalAddress());
    EXPECT_EQ(any->SendTo("y", 1, from), 1);
    ASSERT_TRUE(v4->ReadReady(2000));
    EXPECT_EQ(v4->RecvFrom(&c, 1, nullptr), 1);
    EXPECT_EQ(c, 'y');
}

TEST_F(SocketTest, SplitHostPort) {
    std::string host;
    int32_t port = 0;
    EXPECT_TRUE(SplitHostPort("example.org:80", host, port));
    EXPECT_EQ(host, "example.org");
    EXPECT_EQ(port, 80);
    EXPECT_TRUE(SplitHostPort("[::1]:65535", host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 65535);
    EXPECT_FALSE(SplitHostPort("host:65536", host, port));
    EXPECT_FALSE(SplitHostPort("host:8x", host, port));
    EXPECT_FALSE(SplitHostPort("[::1]80", host, port));
    EXPECT_FALSE(SplitHostPort("host", host, port));
}

// The TCP stream under the registry's wrappers: typed values, lines and text in both directions.
TEST_F(SocketTest, StreamWithWrappers) {
    Ref<TSocket> server = TSocket::Listen("127.0.0.1", 0);
    ASSERT_TRUE(server);
    const std::string url = "tcp::127.0.0.1:" + std::to_string(server->LocalAddress().port);
    std::thread peer([&] {
        Ref<TSocketStream> s = TSocketStream::Create(server->Accept());
        if (!s) return;
        // Echo a little-endian int as big-endian, then lines until "bye", then close.
        const int32_t v = s->ReadInt();
        auto big = TByteOrderStream::Create(s, true);
        big->WriteInt(v);
        for (TString line = s->ReadLine(); line != u"bye"; line = s->ReadLine()) s->WriteLine(u"echo " + line);
        s->Close();
    });
    Ref<TStream> client = OpenUrlStream(url, true, true);
    ASSERT_TRUE(client) << ToUtf8(NetError());
    client->WriteInt(0x01020304);
    uint8_t bytes[4];
    client->ReadBytes(bytes, 4);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[3], 4);
    Ref<TStream> text = OpenUrlStream("utf8::" + url, true, true);  // a second connection
    ASSERT_TRUE(text);
    text->Close();
    client->WriteLine(u"one");
    EXPECT_EQ(client->ReadLine(), u"echo one");
    client->WriteLine(u"bye");
    peer.join();
    EXPECT_EQ(client->ReadLine(), u"");  // the peer closed
    EXPECT_TRUE(client->Eof());
    EXPECT_EQ(client->Pos(), 4 + 10);
    EXPECT_EQ(client->ReadInt(), 0);  // nothing left: the typed read stops at the end
    client->Close();
}

TEST_F(SocketTest, StreamReadTimesOutAndUtf8Wrapper) {
    Ref<TSocket> server = TSocket::Listen("::1", 0);
    ASSERT_TRUE(server);
    Ref<TSocketStream> client = TSocketStream::Open("[::1]:" + std::to_string(server->LocalAddress().port), 2000);
    ASSERT_TRUE(client);
    Ref<TSocketStream> accepted = TSocketStream::Create(server->Accept());
    ASSERT_TRUE(accepted);
    client->SetTimeout(50);
    char c;
    EXPECT_EQ(client->Read(&c, 1), 0);  // nothing arrives within the time-out
    EXPECT_FALSE(client->Eof());
    auto utf8 = TTextStream::Create(accepted, TTextEncoding::Utf8);
    ASSERT_TRUE(utf8);
    utf8->WriteLine(u"gr\u00fc\u00dfe");
    auto reader = TTextStream::Create(client, TTextEncoding::Utf8);
    EXPECT_EQ(reader->ReadLine(), u"gr\u00fc\u00dfe");
}

}  // namespace
}  // namespace corvex
