// Replicated objects against plain ENet carrying the same values, side by side on loopback:
// 32 (and 8) joiners each own 100 objects whose two float slots change every frame at 30 Hz, all
// through one listening host that passes every change on to the 31 others. Each iteration is
// one frame, paced to 30 Hz in real time. Reported per second of traffic: the listening host's
// CPU time (its own thread's, in its pumps) and the bytes it sends and receives.
// The latency case measures the time from a slot change on one joiner to its event on another.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <enet/enet.h>
#include <thread>
#include <vector>

#include <corvex/net/host.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>

namespace {

using namespace corvex;
using Clock = std::chrono::steady_clock;

constexpr int kObjects = 100;
constexpr double kHz = 30;

double ThreadCpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Sleeps to the start of the next frame.
class Pacer {
public:
    void Next() {
        _next += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1 / kHz));
        std::this_thread::sleep_until(_next);
    }

private:
    Clock::time_point _next = Clock::now();
};

void Report(benchmark::State& state, double cpu, double bytes) {
    const double seconds = double(state.iterations()) / kHz;
    state.counters["host_cpu_ms_per_s"] = cpu * 1000 / seconds;
    state.counters["host_bytes_per_s"] = bytes / seconds;
}

template <class F>
bool PumpUntil(const std::vector<Ref<TNetHost>>& hosts, F done) {
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < end) {
        for (const auto& h : hosts) h->Pump(0);
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

void BM_Replicated(benchmark::State& state) {
    const int kPeers = int(state.range(0));
    TNetHostOptions options;
    options.autoPump = false;
    options.maxPeers = 64;
    options.timeoutMs = 30000;  // ENet's own longest default, as the plain case has
    Ref<TNetHost> server = TNetHost::Listen("127.0.0.1", 0, options);
    std::vector<Ref<TNetHost>> clients, all{server};
    for (int i = 0; i < kPeers; ++i) {
        clients.push_back(TNetHost::Connect("127.0.0.1", server->LocalAddress().port, options));
        all.push_back(clients.back());
    }
    if (!PumpUntil(all, [&] {
            for (auto& c : clients)
                if (c->MemberId() < 0) return false;
            return true;
        })) {
        state.SkipWithError("joiners did not join");
        return;
    }
    std::vector<std::vector<Ref<TNetObject>>> objects(kPeers);
    for (int p = 0; p < kPeers; ++p)
        for (int i = 0; i < kObjects; ++i) {
            objects[size_t(p)].push_back(clients[size_t(p)]->CreateObject());
            objects[size_t(p)].back()->SetFloat(0, 0);
            objects[size_t(p)].back()->SetFloat(1, 0);
        }
    if (!PumpUntil(all, [&] { return clients.back()->Objects().size() == size_t(kPeers * kObjects); })) {
        state.SkipWithError("objects did not spread");
        return;
    }
    const int64_t bytes0 = server->BytesSent() + server->BytesReceived();
    double cpu = 0;
    int frame = 0;
    Pacer pacer;
    for (auto _ : state) {
        ++frame;
        for (int p = 0; p < kPeers; ++p)
            for (int i = 0; i < kObjects; ++i) {
                objects[size_t(p)][size_t(i)]->SetFloat(0, float(frame + i));
                objects[size_t(p)][size_t(i)]->SetFloat(1, float(frame - i));
            }
        for (auto& c : clients) c->Pump(0);
        const double t0 = ThreadCpuSeconds();
        server->Pump(0);
        cpu += ThreadCpuSeconds() - t0;
        for (auto& c : clients) c->Pump(0);
        pacer.Next();
    }
    // Until every joiner has the last frame's values of every other (the host's pumps counted).
    auto arrived = [&] {
        for (int p = 0; p < kPeers; ++p) {
            const auto& o = objects[size_t((p + 1) % kPeers)][kObjects - 1];
            Ref<TNetObject> copy = clients[size_t(p)]->FindObject(o->Owner(), o->Id());
            if (!copy || copy->GetFloat(0) != float(frame + kObjects - 1)) return false;
        }
        return true;
    };
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (!arrived() && Clock::now() < end) {
        for (auto& c : clients) c->Pump(0);
        const double t0 = ThreadCpuSeconds();
        server->Pump(0);
        cpu += ThreadCpuSeconds() - t0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    state.counters["converged"] = arrived();
    Report(state, cpu, double(server->BytesSent() + server->BytesReceived() - bytes0));
    for (auto& c : clients) c->Close();
    server->Close();
}

// The same values with ENet alone: each joiner sends one reliable packet a frame with its
// 100 (id, x, y) triples, and the listening host sends it on to all the others.
void BM_PlainEnet(benchmark::State& state) {
    const int kPeers = int(state.range(0));
    enet_initialize();
    ENetAddress address{ENET_HOST_ANY, 0};
    enet_address_set_host_ip(&address, "127.0.0.1");
    ENetHost* server = enet_host_create(&address, 64, 1, 0, 0);
    ENetAddress bound;
    enet_socket_get_address(server->socket, &bound);
    std::vector<ENetHost*> clients;
    std::vector<ENetPeer*> up;
    for (int i = 0; i < kPeers; ++i) {
        clients.push_back(enet_host_create(nullptr, 1, 1, 0, 0));
        up.push_back(enet_host_connect(clients.back(), &bound, 1, 0));
    }
    std::vector<float> seen(size_t(kPeers * kObjects) * 2);
    auto serviceServer = [&] {
        ENetEvent e;
        while (enet_host_service(server, &e, 0) > 0) {
            if (e.type == ENET_EVENT_TYPE_RECEIVE) {
                for (size_t i = 0; i < server->peerCount; ++i) {
                    ENetPeer* p = &server->peers[i];
                    if (p != e.peer && p->state == ENET_PEER_STATE_CONNECTED) enet_peer_send(p, 0, e.packet);
                }
                if (e.packet->referenceCount == 0) enet_packet_destroy(e.packet);
            }
        }
        enet_host_flush(server);
    };
    auto serviceClients = [&] {
        for (ENetHost* c : clients) {
            ENetEvent e;
            while (enet_host_service(c, &e, 0) > 0) {
                if (e.type != ENET_EVENT_TYPE_RECEIVE) continue;
                // Apply the triples, as a program would.
                const uint8_t* d = e.packet->data;
                for (size_t k = 0; k + 12 <= e.packet->dataLength; k += 12) {
                    uint32_t id;
                    std::memcpy(&id, d + k, 4);
                    if (id < uint32_t(kPeers * kObjects)) std::memcpy(&seen[id * 2], d + k + 4, 8);
                }
                enet_packet_destroy(e.packet);
            }
        }
    };
    const auto end = Clock::now() + std::chrono::seconds(30);
    auto connected = [&] {
        for (ENetPeer* p : up)
            if (p->state != ENET_PEER_STATE_CONNECTED) return false;
        return true;
    };
    while (!connected() && Clock::now() < end) {
        serviceServer();
        serviceClients();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    server->totalSentData = server->totalReceivedData = 0;
    double cpu = 0;
    double bytes = 0;
    int frame = 0;
    std::vector<uint8_t> buffer(size_t(kObjects) * 12);
    Pacer pacer;
    for (auto _ : state) {
        ++frame;
        for (int p = 0; p < kPeers; ++p) {
            for (int i = 0; i < kObjects; ++i) {
                const uint32_t id = uint32_t(p * kObjects + i);
                const float x = float(frame + i), y = float(frame - i);
                std::memcpy(&buffer[size_t(i) * 12], &id, 4);
                std::memcpy(&buffer[size_t(i) * 12 + 4], &x, 4);
                std::memcpy(&buffer[size_t(i) * 12 + 8], &y, 4);
            }
            enet_peer_send(up[size_t(p)], 0, enet_packet_create(buffer.data(), buffer.size(), ENET_PACKET_FLAG_RELIABLE));
            enet_host_flush(clients[size_t(p)]);
        }
        serviceClients();
        const double t0 = ThreadCpuSeconds();
        serviceServer();
        cpu += ThreadCpuSeconds() - t0;
        serviceClients();
        bytes += double(server->totalSentData) + double(server->totalReceivedData);
        server->totalSentData = server->totalReceivedData = 0;
        pacer.Next();
    }
    // Until every joiner has the last frame's values of every other (the host's service counted).
    auto arrived = [&] {
        for (int p = 0; p < kPeers; ++p) {
            const int id = ((p + 1) % kPeers) * kObjects + kObjects - 1;
            if (seen[size_t(id) * 2] != float(frame + kObjects - 1)) return false;
        }
        return true;
    };
    const auto drained = Clock::now() + std::chrono::seconds(60);
    while (!arrived() && Clock::now() < drained) {
        serviceClients();
        const double t0 = ThreadCpuSeconds();
        serviceServer();
        cpu += ThreadCpuSeconds() - t0;
        bytes += double(server->totalSentData) + double(server->totalReceivedData);
        server->totalSentData = server->totalReceivedData = 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    state.counters["converged"] = arrived();
    Report(state, cpu, bytes);
    for (ENetHost* c : clients) enet_host_destroy(c);
    enet_host_destroy(server);
}

// From SetFloat on one joiner to EVENT_NETOBJECTCHANGE on another, through the listening host,
// all three pumping every 1 ms as the system poll of a busy program would.
Clock::time_point changedAt;
bool changed = false;
Ref<TObject> OnEvent(int32_t, const Ref<TObject>& data, const Ref<TObject>&) {
    auto e = std::dynamic_pointer_cast<TEvent>(data);
    if (e && e->id == EVENT_NETOBJECTCHANGE) {
        changedAt = Clock::now();
        changed = true;
    }
    return data;
}

void BM_ChangeToEventLatency(benchmark::State& state) {
    TNetHostOptions options;
    options.autoPump = false;
    Ref<TNetHost> server = TNetHost::Listen("127.0.0.1", 0, options);
    Ref<TNetHost> a = TNetHost::Connect("127.0.0.1", server->LocalAddress().port, options);
    Ref<TNetHost> b = TNetHost::Connect("127.0.0.1", server->LocalAddress().port, options);
    std::vector<Ref<TNetHost>> all{server, a, b};
    PumpUntil(all, [&] { return a->MemberId() >= 0 && b->MemberId() >= 0; });
    Ref<TNetObject> o = a->CreateObject();
    o->SetInt(0, 0);
    PumpUntil(all, [&] { return b->Objects().size() == 1; });
    InstallHook(EventEmitHookId(), OnEvent, nullptr, 0);
    int32_t value = 0;
    for (auto _ : state) {
        changed = false;
        const auto start = Clock::now();
        o->SetInt(0, ++value);
        while (!changed) {
            a->Pump(0);
            server->Pump(0);
            b->Pump(0);
            std::this_thread::sleep_for(std::chrono::microseconds(1000));
        }
        state.SetIterationTime(std::chrono::duration<double>(changedAt - start).count());
    }
    UninstallHook(EventEmitHookId(), OnEvent, nullptr);
}

}  // namespace

// The argument is the number of joiners: 8 as well as the 32 of the target.
BENCHMARK(BM_PlainEnet)->Arg(8)->Arg(32)->Iterations(90)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Replicated)->Arg(8)->Arg(32)->Iterations(90)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ChangeToEventLatency)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
