// Replicated objects against plain ENet carrying the same values, side by side on loopback:
// 32 (and 8) joiners each own 100 objects whose two float slots change every frame at 30 Hz, all
// through one listening host that passes every change on to the others. The joiners run in four
// processes of their own, as the machines they stand for would, 90 frames paced to 30 Hz in real
// time, each handling its events; the listening host pumps here, waiting for datagrams as a
// dedicated server would. Reported per second of traffic: the listening host's CPU time (its
// thread's; and of it, the time outside the kernel) and the bytes it sends and receives.
// The latency case measures the time from a slot change on one joiner to its event on another.
// POSIX only (fork).
#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <enet/enet.h>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <corvex/net/host.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>

namespace {

using namespace corvex;
using Clock = std::chrono::steady_clock;

constexpr int kObjects = 100;
constexpr double kHz = 30;
constexpr int kFrames = 90;  // 3 s of traffic a run
constexpr int32_t kWaitMs = 5;  // the listening host blocks in its pump this long for a datagram

double ThreadCpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// This thread's CPU time outside the kernel.
double ThreadUserSeconds() {
    rusage u;
    getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) * 1e-6;
}

// Waits for the start of the next frame, calling idle() once a millisecond meanwhile.
class Pacer {
public:
    template <class Idle>
    void Next(Idle idle) {
        _next += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1 / kHz));
        while (Clock::now() < _next) {
            idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

private:
    Clock::time_point _next = Clock::now();
};

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

// UDP datagrams sent on this machine so far (both processes of a run, and anything else), or
// with dropped, those dropped for a full receive buffer.
int64_t UdpDatagrams(bool dropped = false) {
    FILE* f = std::fopen("/proc/net/snmp", "r");
    if (!f) return 0;
    char line[1024];
    int64_t out = 0;
    bool header = true;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "Udp:", 4) == 0) {
            if (!header) {
                long long v[5] = {};
                if (std::sscanf(line + 4, "%lld %lld %lld %lld %lld", &v[0], &v[1], &v[2], &v[3], &v[4]) == 5)
                    out = dropped ? v[4] : v[3];
            }
            header = false;
        }
    std::fclose(f);
    return out;
}

// The joiners' frames: kFrames frames at 30 Hz, then until every joiner holds every other's last
// values (or 60 s passed); true if they did. frame(n) changes and sends frame n's values;
// drain() takes in what came, once a millisecond between frames as the system poll of a busy
// program would.
template <class Frame, class Drain, class Arrived>
bool RunFrames(Frame frame, Drain drain, Arrived arrived) {
    Pacer pacer;
    for (int n = 1; n <= kFrames; ++n) {
        frame(n);
        pacer.Next(drain);
    }
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (!arrived() && Clock::now() < end) {
        drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return arrived();
}

// The joiners run in kProcesses processes of their own, as the machines they stand for do:
// they share no cache or allocator with the listening host, and their work spreads over the
// cores. joiners(first, count, sync, finish) runs joiners first..first+count-1: it connects
// them, sets up, calls sync() (which returns once every process is set up), runs its frames and
// ends with finish(converged, drain), which reports and keeps draining (so that what others
// still wait for is acknowledged) until every process has finished. The listening host pumps
// here meanwhile (pump() waits for datagrams a little); its thread's CPU time and the bytes()
// it has sent and received are counted from the start of the frames until every process has
// finished.
constexpr int kProcesses = 4;

template <class Pump, class Bytes, class Joiners>
void RunWithJoinersElsewhere(benchmark::State& state, int peers, Pump pump, Bytes bytes, Joiners joiners) {
    int up[2], down[2];  // children to parent: 'r' set up, then 'y' or 'n' converged; parent to children: go
    if (pipe(up) != 0 || pipe(down) != 0) return state.SkipWithError("no pipe");
    std::vector<pid_t> children;
    for (int k = 0; k < kProcesses; ++k) {
        const pid_t child = fork();
        if (child < 0) break;
        if (child == 0) {
            close(up[0]);
            close(down[1]);
            auto sync = [&] {
                char c = 'r';
                return write(up[1], &c, 1) == 1 && read(down[0], &c, 1) == 1;
            };
            auto finish = [&](bool converged, auto drain) {
                const char c = converged ? 'y' : 'n';
                if (write(up[1], &c, 1) != 1) return false;
                pollfd done{down[0], POLLIN, 0};
                while (poll(&done, 1, 1) == 0) drain();  // until the parent closes its end
                return converged;
            };
            const int count = peers / kProcesses;
            _exit(joiners(k * count, count, sync, finish) ? 0 : 1);
        }
        children.push_back(child);
    }
    close(up[1]);
    close(down[0]);
    fcntl(up[0], F_SETFL, O_NONBLOCK);
    auto stop = [&] {
        close(down[1]);
        for (pid_t child : children) waitpid(child, nullptr, 0);
        close(up[0]);
    };
    int set = 0;
    const auto end = Clock::now() + std::chrono::seconds(60);
    for (char c; set < kProcesses && Clock::now() < end;) {
        if (read(up[0], &c, 1) == 1)
            set += c == 'r';
        else
            pump();
    }
    if (set < kProcesses) {
        for (pid_t child : children) kill(child, SIGKILL);
        stop();
        return state.SkipWithError("the joiners did not get going");
    }
    state.ResumeTiming();
    const int64_t datagrams0 = UdpDatagrams(), dropped0 = UdpDatagrams(true);
    const double bytes0 = bytes();
    const double cpu0 = ThreadCpuSeconds(), user0 = ThreadUserSeconds();
    const std::string go(size_t(kProcesses), 'g');
    bool converged = write(down[1], go.data(), go.size()) == ssize_t(go.size());
    int64_t pumps = 0;
    for (int finished = 0; finished < kProcesses; ++pumps) {
        pump();
        for (char c; read(up[0], &c, 1) == 1; ++finished) converged = converged && c == 'y';
    }
    const double cpu = ThreadCpuSeconds() - cpu0, user = ThreadUserSeconds() - user0;
    const double seconds = kFrames / kHz;
    state.counters["host_cpu_ms_per_s"] = cpu * 1000 / seconds;
    state.counters["host_user_ms_per_s"] = user * 1000 / seconds;  // of which outside the kernel
    state.counters["host_bytes_per_s"] = (bytes() - bytes0) / seconds;
    state.counters["host_pumps_per_s"] = double(pumps) / seconds;
    state.counters["udp_datagrams_per_s"] = double(UdpDatagrams() - datagrams0) / seconds;
    state.counters["udp_dropped"] = double(UdpDatagrams(true) - dropped0);
    state.counters["converged"] = converged;
    state.PauseTiming();
    stop();
}

// A program's event handler: it looks at the slots of every object change.
int64_t handled = 0;
Ref<TObject> Handle(int32_t, const Ref<TObject>& data, const Ref<TObject>&) {
    if (auto* e = dynamic_cast<const TEvent*>(data.get())) handled += __builtin_popcountll(EventSlots(*e));
    return data;
}

void BM_Replicated(benchmark::State& state) {
    const int kPeers = int(state.range(0));
    struct Handling {
        Handling() { InstallHook(EventEmitHookId(), Handle, nullptr, 0); }
        ~Handling() { UninstallHook(EventEmitHookId(), Handle, nullptr); }
    } handling;
    TNetHostOptions options;
    options.autoPump = false;
    options.maxPeers = 64;
    options.timeoutMs = 30000;  // ENet's own longest default, as the plain case has
    Ref<TNetHost> server = TNetHost::Listen("127.0.0.1", 0, options);
    const int32_t port = server->LocalAddress().port;
    // In a joiners' process: this host's copy is never touched there. The listening host
    // numbers the joiners 1..kPeers, and each numbers its objects 1..kObjects.
    auto joiners = [&](int, int count, auto sync, auto finish) {
        std::vector<Ref<TNetHost>> clients;
        for (int i = 0; i < count; ++i) clients.push_back(TNetHost::Connect("127.0.0.1", port, options));
        if (!PumpUntil(clients, [&] {
                for (auto& c : clients)
                    if (c->MemberId() < 0) return false;
                return true;
            }))
            return false;
        std::vector<Ref<TNetObject>> objects;
        for (auto& c : clients)
            for (int i = 0; i < kObjects; ++i) {
                objects.push_back(c->CreateObject());
                objects.back()->SetFloat(0, 0);
                objects.back()->SetFloat(1, 0);
            }
        // Every joiner's last object, with the value of the given frame, at every other joiner.
        auto everywhere = [&](int frame) {
            for (auto& c : clients)
                for (int member = 1; member <= kPeers; ++member) {
                    if (member == c->MemberId()) continue;
                    Ref<TNetObject> copy = c->FindObject(member, kObjects);
                    if (!copy) return false;
                    if (frame > 0 && copy->GetFloat(0) != float(frame + kObjects - 1)) return false;
                }
            return true;
        };
        if (!PumpUntil(clients, [&] { return everywhere(0); }) || !sync()) return false;
        auto frame = [&](int n) {
            for (size_t k = 0; k < objects.size(); ++k) {
                const int i = int(k % kObjects);
                objects[k]->SetFloat(0, float(n + i));
                objects[k]->SetFloat(1, float(n - i));
            }
            for (auto& c : clients) c->Pump(0);
        };
        auto drain = [&] {
            for (auto& c : clients) c->Pump(0);
        };
        return finish(RunFrames(frame, drain, [&] { return everywhere(kFrames); }), drain);
    };
    for (auto _ : state) {
        state.PauseTiming();
        RunWithJoinersElsewhere(
            state, kPeers, [&] { server->Pump(kWaitMs); },
            [&] { return double(server->BytesSent() + server->BytesReceived()); }, joiners);
        state.ResumeTiming();
    }
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
    // As the replicated host's pump: wait for the first event, then take in the rest, serviced
    // again after each, and send.
    auto pump = [&] {
        ENetEvent e;
        int rc = enet_host_service(server, &e, kWaitMs);
        while (rc > 0) {
            if (e.type == ENET_EVENT_TYPE_RECEIVE) {
                for (size_t i = 0; i < server->peerCount; ++i) {
                    ENetPeer* p = &server->peers[i];
                    if (p != e.peer && p->state == ENET_PEER_STATE_CONNECTED) enet_peer_send(p, 0, e.packet);
                }
                if (e.packet->referenceCount == 0) enet_packet_destroy(e.packet);
            }
            rc = enet_host_service(server, &e, 0);
        }
        enet_host_flush(server);
    };
    auto joiners = [&](int first, int count, auto sync, auto finish) {
        std::vector<ENetHost*> clients;
        std::vector<ENetPeer*> up;
        for (int i = 0; i < count; ++i) {
            clients.push_back(enet_host_create(nullptr, 1, 1, 0, 0));
            up.push_back(enet_host_connect(clients.back(), &bound, 1, 0));
        }
        // Each joiner keeps its own copy of every value, as a program would.
        std::vector<std::vector<float>> seen(size_t(count),
                                             std::vector<float>(size_t(kPeers * kObjects) * 2));
        auto drain = [&] {
            for (size_t c = 0; c < clients.size(); ++c) {
                ENetEvent e;
                while (enet_host_service(clients[c], &e, 0) > 0) {
                    if (e.type != ENET_EVENT_TYPE_RECEIVE) continue;
                    const uint8_t* d = e.packet->data;
                    for (size_t k = 0; k + 12 <= e.packet->dataLength; k += 12) {
                        uint32_t id;
                        std::memcpy(&id, d + k, 4);
                        if (id < uint32_t(kPeers * kObjects)) std::memcpy(&seen[c][id * 2], d + k + 4, 8);
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
            drain();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!connected() || !sync()) return false;
        std::vector<uint8_t> buffer(size_t(kObjects) * 12);
        auto frame = [&](int n) {
            for (int c = 0; c < count; ++c) {
                for (int i = 0; i < kObjects; ++i) {
                    const uint32_t id = uint32_t((first + c) * kObjects + i);
                    const float x = float(n + i), y = float(n - i);
                    std::memcpy(&buffer[size_t(i) * 12], &id, 4);
                    std::memcpy(&buffer[size_t(i) * 12 + 4], &x, 4);
                    std::memcpy(&buffer[size_t(i) * 12 + 8], &y, 4);
                }
                enet_peer_send(up[size_t(c)], 0,
                               enet_packet_create(buffer.data(), buffer.size(), ENET_PACKET_FLAG_RELIABLE));
                enet_host_flush(clients[size_t(c)]);
            }
            drain();
        };
        auto arrived = [&] {
            for (int c = 0; c < count; ++c)
                for (int q = 0; q < kPeers; ++q) {
                    if (q == first + c) continue;
                    const size_t id = size_t(q * kObjects + kObjects - 1);
                    if (seen[size_t(c)][id * 2] != float(kFrames + kObjects - 1)) return false;
                }
            return true;
        };
        return finish(RunFrames(frame, drain, arrived), drain);
    };
    for (auto _ : state) {
        state.PauseTiming();
        RunWithJoinersElsewhere(
            state, kPeers, pump,
            [&] { return double(server->totalSentData) + double(server->totalReceivedData); }, joiners);
        state.ResumeTiming();
    }
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
// One iteration is a whole run of kFrames frames.
BENCHMARK(BM_PlainEnet)->Arg(8)->Arg(32)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Replicated)->Arg(8)->Arg(32)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ChangeToEventLatency)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
