// ENet hosts, their peers, and replicated objects on them.
#include <corvex/net/host.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <enet/enet.h>
#include <mutex>
#include <unordered_map>

#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/system.h>

#include "net/net_module.h"
#include "net/replication.h"

namespace corvex {

namespace {

constexpr enet_uint32 CONNECT_TAG = 0x43560002;  // "CV", protocol 2: a joiner's connect data
constexpr enet_uint32 LEAVE_TAG = 0x4356FFFF;    // disconnect data of a polite leave
constexpr int32_t MAX_MEMBER = 65535;
constexpr int32_t MAX_EVENTS_PER_PUMP = 65536;  // ENet events taken in by one pump

uint64_t Key(int32_t owner, uint32_t id) { return uint64_t(uint32_t(owner)) << 32 | id; }

int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool StartEnet() {
    static bool ok = [] {
        if (enet_initialize() != 0) return false;
        std::atexit(enet_deinitialize);
        return true;
    }();
    return ok;
}

}  // namespace

struct TNetHostState {
    TNetHost* self = nullptr;   // the host these are the internals of
    ENetHost* enet = nullptr;
    bool listening = false;
    int32_t member = -1;        // 0 when listening; a joiner's once welcomed
    int32_t channels = 2;       // user channels; the replication channel is the next
    int32_t timeoutMs = 5000;
    int32_t nextMember = 1;
    uint32_t nextObject = 1;
    bool pumping = false;
    bool autoPump = false;
    int64_t lastPumpUs = 0;
    int64_t sent = 0, received = 0;  // traffic totals (ENet's counters folded in)
    std::vector<Ref<TNetPeer>> peers;  // joined, in joining order
    std::unordered_map<uint64_t, Ref<TNetObject>> objects;  // by Key(owner, id): one look-up per entry
    std::map<int32_t, int32_t> owned;  // open objects per owner
    std::vector<uint32_t> closedOwn;   // own objects closed since the last send (announced ones)
    std::vector<Ref<TNetObject>> dirtyOwn;  // own objects new or changed since the last send
    std::map<TNetPeer*, std::vector<uint8_t>> out;  // replication records waiting per peer
    // An event waiting for the end of the pump: the fields of its TEvent, in one array that
    // the emitting walks in order.
    struct TPending {
        int32_t id, data, x, y;
        Ref<TObject> source, extra;
    };
    std::vector<TPending> events;

    void Emit(int32_t id, Ref<TObject> source, int32_t data, Ref<TObject> extra = nullptr, int32_t x = 0,
              int32_t y = 0) {
        events.push_back({id, data, x, y, std::move(source), std::move(extra)});
    }

    // ENet channel 0 carries replication; user channel c travels on ENet channel c + 1.
    static constexpr uint8_t REPLICATION_CHANNEL = 0;

    replication::TPacket decoded;  // the packet being taken in (kept for its capacity)
    std::vector<uint8_t> scratch;  // records being put together (kept for its capacity)

    // Records go out in packets that fit one datagram, cut at record boundaries: ENet's fragment
    // handling costs far more than the few bytes of headers this spends.
    static size_t PacketLimit(const ENetPeer* p) {
        const size_t mtu = p ? size_t(p->mtu) : size_t(ENET_HOST_DEFAULT_MTU);
        return mtu - sizeof(ENetProtocolHeader) - sizeof(ENetProtocolSendFragment);
    }
    size_t PacketLimit() const {
        size_t limit = PacketLimit(nullptr);
        for (const Ref<TNetPeer>& p : peers)
            if (p->_enet) limit = std::min(limit, PacketLimit(static_cast<const ENetPeer*>(p->_enet)));
        return limit;
    }

    // Whole records for one peer, after what already waits for it.
    void Queue(TNetPeer* to, const std::vector<uint8_t>& records) {
        if (records.empty()) return;
        std::vector<uint8_t>& buffer = out[to];
        if (!buffer.empty() && buffer.size() + records.size() > PacketLimit(static_cast<const ENetPeer*>(to->_enet)))
            SendBuffer(to, buffer);
        buffer.insert(buffer.end(), records.begin(), records.end());
    }
    void QueueAll(const std::vector<uint8_t>& records, const TNetPeer* except) {
        for (const Ref<TNetPeer>& p : peers)
            if (p.get() != except) Queue(p.get(), records);
    }
    void SendBuffer(TNetPeer* to, std::vector<uint8_t>& buffer) {
        if (buffer.empty()) return;
        if (to->_enet) {
            ENetPacket* packet = enet_packet_create(buffer.data(), buffer.size(), ENET_PACKET_FLAG_RELIABLE);
            if (packet && enet_peer_send(static_cast<ENetPeer*>(to->_enet), REPLICATION_CHANNEL, packet) != 0)
                enet_packet_destroy(packet);
        }
        buffer.clear();
    }
    // One packet to every peer but except, behind what waits for each: ENet counts the
    // references, so the bytes are neither copied nor encoded again per peer.
    void SendShared(ENetPacket* packet, const TNetPeer* except) {
        for (const Ref<TNetPeer>& p : peers) {
            if (p.get() == except || !p->_enet) continue;
            auto waiting = out.find(p.get());
            if (waiting != out.end()) SendBuffer(p.get(), waiting->second);
            enet_peer_send(static_cast<ENetPeer*>(p->_enet), REPLICATION_CHANNEL, packet);
        }
    }
    void SendOwn(std::vector<uint8_t>& records) {
        if (records.empty()) return;
        ENetPacket* packet = enet_packet_create(records.data(), records.size(), ENET_PACKET_FLAG_RELIABLE);
        if (packet) {
            SendShared(packet, nullptr);
            if (packet->referenceCount == 0) enet_packet_destroy(packet);
        }
        records.clear();
    }

    // Own objects' changes since the last send, to every peer: one entry per changed object
    // with all its changed slots, in as few packets as fit; then every waiting buffer. ENet
    // sends them now if send, else at its next service.
    void Flush(bool send = true) {
        if (member >= 0 && !peers.empty()) {
            const size_t limit = PacketLimit();
            std::vector<uint8_t>& records = scratch;
            records.clear();
            replication::TUpdateWriter writer(records);
            std::vector<Ref<TNetObject>> pending;
            pending.swap(dirtyOwn);
            for (const Ref<TNetObject>& object : pending) {
                TNetObject& o = *object;
                if (!o._open) continue;
                size_t need = o._announced ? 0 : replication::OBJECT_RECORD_BYTES;
                if (o._dirty) {
                    need += replication::EntryBytes(uint32_t(o._id), o._dirty, o._slots.data());
                    if (!o._announced || !writer.Continues(member)) need += replication::UPDATE_HEADER_BYTES;
                }
                if (!records.empty() && records.size() + need > limit) {
                    SendOwn(records);
                    writer.Reset();
                }
                if (!o._announced) {
                    replication::PutOpen(records, member, uint32_t(o._id));
                    o._announced = true;
                }
                if (o._dirty) writer.Add(member, uint32_t(o._id), o._dirty, o._slots.data());
                o._dirty = 0;
            }
            for (uint32_t id : closedOwn) {
                if (!records.empty() && records.size() + replication::OBJECT_RECORD_BYTES > limit) SendOwn(records);
                replication::PutClose(records, member, id);
            }
            closedOwn.clear();
            SendOwn(records);
        } else if (member >= 0) {
            // Nobody to tell: everything counts as sent; a joiner gets the state whole.
            for (const Ref<TNetObject>& object : dirtyOwn) {
                object->_announced = true;
                object->_dirty = 0;
            }
            dirtyOwn.clear();
            closedOwn.clear();
        }
        for (auto& [peer, buffer] : out) SendBuffer(peer, buffer);
        if (send) enet_host_flush(enet);
    }

    // Every announced open object, whole, for a joiner (before anything else it is sent).
    void SendSnapshot(TNetPeer* to) {
        std::vector<uint8_t>& records = out[to];
        const size_t limit = PacketLimit(static_cast<const ENetPeer*>(to->_enet));
        replication::TUpdateWriter writer(records);
        replication::PutWelcome(records, to->_member);
        for (const Ref<TNetObject>& object : Sorted()) {
            const TNetObject& o = *object;
            if (!o._open || (o._owner == member && !o._announced)) continue;
            uint64_t mask = 0;
            for (size_t slot = 0; slot < o._slots.size(); ++slot)
                if (o._slots[slot].type != NETSLOT_NONE) mask |= uint64_t{1} << slot;
            size_t need = replication::OBJECT_RECORD_BYTES;
            if (mask) need += replication::UPDATE_HEADER_BYTES + replication::EntryBytes(uint32_t(o._id), mask, o._slots.data());
            if (records.size() + need > limit) {
                SendBuffer(to, records);
                writer.Reset();
            }
            replication::PutOpen(records, o._owner, uint32_t(o._id));
            if (mask) writer.Add(o._owner, uint32_t(o._id), mask, o._slots.data());
        }
    }

    // Every object, by owner and id: what joiners and event hooks see comes in a stable order.
    std::vector<Ref<TNetObject>> Sorted() const {
        std::vector<std::pair<uint64_t, Ref<TNetObject>>> keyed(objects.begin(), objects.end());
        std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<Ref<TNetObject>> out;
        out.reserve(keyed.size());
        for (auto& [key, object] : keyed) out.push_back(std::move(object));
        return out;
    }

    void CloseObject(const Ref<TNetObject>& object, bool emit) {
        object->_open = false;
        objects.erase(Key(object->_owner, uint32_t(object->_id)));
        if (--owned[object->_owner] <= 0) owned.erase(object->_owner);
        if (emit) Emit(EVENT_NETOBJECTCLOSE, object, 0);
    }

    // Objects of owner close here, and (listening) at every other peer.
    void CloseObjectsOf(int32_t owner, const TNetPeer* gone) {
        std::vector<Ref<TNetObject>> closing;
        for (const Ref<TNetObject>& object : Sorted())
            if (object->_owner == owner) closing.push_back(object);
        std::vector<uint8_t> records;
        for (const Ref<TNetObject>& object : closing) {
            CloseObject(object, true);
            if (listening) replication::PutClose(records, owner, uint32_t(object->_id));
        }
        if (listening) QueueAll(records, gone);
    }

    Ref<TNetPeer> PeerOf(const ENetPeer* p) const {
        for (const Ref<TNetPeer>& peer : peers)
            if (peer->_enet == p) return peer;
        return nullptr;
    }

    void Forget(const Ref<TNetPeer>& peer) {
        if (auto* p = static_cast<ENetPeer*>(peer->_enet)) p->data = nullptr;
        peer->_enet = nullptr;
        out.erase(peer.get());
        peers.erase(std::remove(peers.begin(), peers.end(), peer), peers.end());
        if (listening) {
            CloseObjectsOf(peer->_member, peer.get());
        } else {
            // The listening host is gone: every object of the others goes with it.
            std::vector<Ref<TNetObject>> closing;
            for (const Ref<TNetObject>& object : Sorted())
                if (object->_owner != member) closing.push_back(object);
            for (const Ref<TNetObject>& object : closing) CloseObject(object, true);
        }
    }

    void Drop(const Ref<TNetPeer>& peer, const std::string& why) {
        SetNetError("Dropped " + peer->Address().ToString() + ": " + why);
        if (auto* p = static_cast<ENetPeer*>(peer->_enet)) enet_peer_disconnect_now(p, 0);
        Emit(EVENT_NETDROP, peer, peer->_member, std::make_shared<TStringObject>(FromUtf8(why)));
        Forget(peer);
    }

    void Receive(const Ref<TNetPeer>& peer, const ENetEvent& e) {
        const size_t size = e.packet->dataLength;
        if (e.channelID != REPLICATION_CHANNEL) {
            if (size > size_t(MAX_NET_MESSAGE_BYTES)) return Drop(peer, "message too long");
            if (listening ? peer->_member < 1 : member < 0) return Drop(peer, "message before welcome");
            auto message = std::make_shared<TNetMessage>();
            message->bytes.assign(e.packet->data, e.packet->data + size);
            Emit(EVENT_NETMESSAGE, peer, e.channelID - 1, message);
            return;
        }
        std::string why;
        // Nothing of a malformed packet is applied: the peer is dropped.
        if (!replication::Decode(e.packet->data, size, decoded, why)) return Drop(peer, why);
        // A joiner's object records go on to the others as they came, in the same packet; a packet
        // that also carries messages (routed to one owner each) is passed on re-encoded.
        bool whole = listening && (e.packet->flags & ENET_PACKET_FLAG_RELIABLE);  // as it came, reliable
        for (const replication::TRecord& r : decoded.records)
            if (r.kind == replication::REC_MESSAGE || r.kind == replication::REC_WELCOME) whole = false;
        std::vector<uint8_t> relay;
        replication::TUpdateWriter writer(relay);
        TRelay to{whole ? nullptr : &relay, &writer};
        for (const replication::TRecord& r : decoded.records) {
            std::string broken = Apply(peer, r, listening ? &to : nullptr);
            if (!broken.empty()) return Drop(peer, broken);
        }
        if (whole && size > 0)
            SendShared(e.packet, peer.get());
        else if (listening)
            QueueAll(relay, peer.get());
    }

    // Where a listening host re-encodes what it passes on: bytes nullptr when the packet goes as it came.
    struct TRelay {
        std::vector<uint8_t>* bytes;
        replication::TUpdateWriter* writer;
    };

    // One record from peer; the reason if it breaks the protocol.
    std::string Apply(const Ref<TNetPeer>& peer, const replication::TRecord& r, TRelay* relay) {
        using namespace replication;
        if (r.kind == REC_WELCOME) {
            if (listening || member >= 0) return "unexpected welcome";
            member = r.member;
            peer->_member = 0;
            Emit(EVENT_NETJOIN, peer, 0);
            return {};
        }
        if (!listening && member < 0) return "record before welcome";
        if (r.kind == REC_MESSAGE) {
            const int32_t from = listening ? peer->_member : r.member;  // the sender is who sent it
            Ref<TNetObject> object = FindObject(r.owner, r.id);
            if (!object) return {};  // closed meanwhile: the message is dropped
            if (r.owner == member) {
                auto message = std::make_shared<TNetMessage>();
                message->bytes.assign(r.data, r.data + r.size);
                Emit(EVENT_NETOBJECTMESSAGE, object, from, message);
            } else if (listening) {
                for (const Ref<TNetPeer>& p : peers)
                    if (p->_member == r.owner) {
                        scratch.clear();
                        PutMessage(scratch, from, r.owner, r.id, r.data, r.size);
                        Queue(p.get(), scratch);
                    }
            }
            return {};
        }
        // Objects: a joiner speaks only for its own; the listening host for anybody but the joiner.
        if (listening ? r.owner != peer->_member : r.owner == member) return "object of another owner";
        auto found = objects.find(Key(r.owner, r.id));
        TNetObject* object = found == objects.end() ? nullptr : found->second.get();
        std::vector<uint8_t>* bytes = relay ? relay->bytes : nullptr;
        if (r.kind == REC_OPEN) {
            if (object) return listening ? "object opened twice" : std::string();
            if (owned[r.owner] >= MAX_NET_OBJECTS_PER_PEER) return "too many objects";
            auto created = std::make_shared<TNetObject>();  // with its count, in one block
            created->_host = this;
            created->_owner = r.owner;
            created->_id = int32_t(r.id);
            objects[Key(r.owner, r.id)] = created;
            ++owned[r.owner];
            Emit(EVENT_NETOBJECTOPEN, created, 0);
            if (bytes) PutOpen(*bytes, r.owner, r.id);
        } else if (r.kind == REC_UPDATE) {
            if (!object) return "slot of an unknown object";
            const size_t top = size_t(64 - __builtin_clzll(r.mask));
            if (object->_slots.size() < top) object->_slots.resize(top);
            uint32_t k = r.first;
            for (uint64_t bits = r.mask; bits; bits &= bits - 1)
                object->_slots[size_t(__builtin_ctzll(bits))] = std::move(decoded.values[k++]);
            // One event for the entry: the lowest slot, and all of them as a mask in x and y.
            Emit(EVENT_NETOBJECTCHANGE, found->second, __builtin_ctzll(r.mask), nullptr,
                 int32_t(uint32_t(r.mask)), int32_t(uint32_t(r.mask >> 32)));
            if (bytes) relay->writer->Add(r.owner, r.id, r.mask, object->_slots.data());
        } else if (r.kind == REC_CLOSE) {
            if (!object) return "closing an unknown object";
            const Ref<TNetObject> closing = found->second;  // the map's own reference goes in CloseObject
            CloseObject(closing, true);
            if (bytes) PutClose(*bytes, r.owner, r.id);
        }
        return {};
    }

    Ref<TNetObject> FindObject(int32_t owner, uint32_t id) const {
        auto it = objects.find(Key(owner, id));
        return it == objects.end() ? nullptr : it->second;
    }

    void Service(int32_t waitMs) {
        ENetEvent e;
        int rc = enet_host_service(enet, &e, enet_uint32(std::max(0, waitMs)));
        // Serviced again after each event, not only drained: acknowledgements that came meanwhile
        // are taken in before ENet decides what timed out, so busy peers see no needless resends.
        // Bounded, so that a flood cannot hold the pump.
        for (int32_t n = 0; rc > 0; ++n) {
            HandleEvent(e);
            rc = n < MAX_EVENTS_PER_PUMP ? enet_host_service(enet, &e, 0) : 0;
        }
    }

    void HandleEvent(ENetEvent& e) {
        if (e.type == ENET_EVENT_TYPE_CONNECT) {
            enet_peer_timeout(e.peer, 0, enet_uint32(timeoutMs), enet_uint32(timeoutMs));
            if (!listening) {
                // The listening host's welcome, not this, makes the join.
                auto* peer = static_cast<TNetPeer*>(e.peer->data);
                if (peer) peer->_joined = true;
                return;
            }
            if (e.data != CONNECT_TAG || nextMember > MAX_MEMBER) {
                enet_peer_disconnect_now(e.peer, 0);
                return;
            }
            Ref<TNetPeer> peer(new TNetPeer());
            peer->_host = this;
            peer->_enet = e.peer;
            peer->_member = nextMember++;
            peer->_joined = true;
            e.peer->data = peer.get();
            peers.push_back(peer);
            SendSnapshot(peer.get());
            Emit(EVENT_NETJOIN, peer, peer->_member);
        } else if (e.type == ENET_EVENT_TYPE_DISCONNECT) {
            // A joiner's attempt that never got through ends here too, as a time-out.
            Ref<TNetPeer> peer = PeerOf(e.peer);
            if (!peer) return;
            const bool polite = e.data == LEAVE_TAG || peer->_leaving;
            Forget(peer);
            Emit(polite ? EVENT_NETLEAVE : EVENT_NETTIMEOUT, peer, peer->_member);
        } else if (e.type == ENET_EVENT_TYPE_RECEIVE) {
            Ref<TNetPeer> peer = PeerOf(e.peer);
            if (peer) Receive(peer, e);
            // Passed on whole, it lives until the last peer has sent it.
            if (e.packet->referenceCount == 0) enet_packet_destroy(e.packet);
        }
    }

    // A joiner sends everything to the listening host, which passes it on.
    bool QueueToOwner(int32_t owner, const std::vector<uint8_t>& records) {
        for (const Ref<TNetPeer>& p : peers)
            if (!listening || p->_member == owner) {
                Queue(p.get(), records);
                return true;
            }
        return false;
    }

    Ref<TNetPeer> pending;  // a joiner's connection to the listening host until welcomed
};

namespace {
// ENet's counters are 32-bit: fold them into 64-bit totals whenever asked.
void Collect(TNetHostState& s) {
    s.sent += s.enet->totalSentData;
    s.received += s.enet->totalReceivedData;
    s.enet->totalSentData = 0;
    s.enet->totalReceivedData = 0;
}
}  // namespace

// ---- Peers

TNetAddress TNetPeer::Address() const {
    TNetAddress a;
    if (auto* p = static_cast<ENetPeer*>(_enet)) {
        a.family = 4;
        std::memcpy(a.bytes, &p->address.host, 4);
        a.port = p->address.port;
    }
    return a;
}

bool TNetPeer::Connected() const { return _enet && _joined; }

int32_t TNetPeer::RoundTripTime() const {
    auto* p = static_cast<ENetPeer*>(_enet);
    return p ? int32_t(p->roundTripTime) : 0;
}

bool TNetPeer::Send(int32_t channel, const void* data, int32_t size, bool reliable) {
    auto* p = static_cast<ENetPeer*>(_enet);
    if (!p || !_host || channel < 0 || channel >= _host->channels || size < 0 || size > MAX_NET_MESSAGE_BYTES)
        return false;
    ENetPacket* packet = enet_packet_create(data, size_t(size), reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
    return packet && enet_peer_send(p, uint8_t(channel + 1), packet) == 0;
}

bool TNetPeer::Send(int32_t channel, std::string_view text, bool reliable) {
    return Send(channel, text.data(), int32_t(text.size()), reliable);
}

void TNetPeer::Disconnect() {
    if (auto* p = static_cast<ENetPeer*>(_enet)) {
        _leaving = true;
        enet_peer_disconnect(p, LEAVE_TAG);
    }
}

TNetHost* TNetPeer::Host() const { return _host ? _host->self : nullptr; }

// ---- Objects

TNetHost* TNetObject::Host() const { return _host ? _host->self : nullptr; }

bool TNetObject::IsMine() const { return _host && _owner == _host->member; }

namespace {
bool Settable(const TNetObject& o, int32_t slot) { return o.IsMine() && o.IsOpen() && slot >= 0 && slot < MAX_NET_SLOTS; }
}  // namespace

void TNetObject::MarkDirty(int32_t slot) {
    if (_dirty == 0 && _announced) _host->dirtyOwn.push_back(shared_from_this());
    _dirty |= uint64_t{1} << slot;
}

bool TNetObject::SetInt(int32_t slot, int32_t value) {
    if (!Settable(*this, slot)) return false;
    if (_slots.size() <= size_t(slot)) _slots.resize(size_t(slot) + 1);
    TSlot& s = _slots[size_t(slot)];
    if (s.type == NETSLOT_INT && s.i == value) return true;
    s = TSlot{NETSLOT_INT, value, 0, {}};
    MarkDirty(slot);
    return true;
}

bool TNetObject::SetFloat(int32_t slot, float value) {
    if (!Settable(*this, slot)) return false;
    if (_slots.size() <= size_t(slot)) _slots.resize(size_t(slot) + 1);
    TSlot& s = _slots[size_t(slot)];
    if (s.type == NETSLOT_FLOAT && std::memcmp(&s.f, &value, 4) == 0) return true;
    s = TSlot{NETSLOT_FLOAT, 0, value, {}};
    MarkDirty(slot);
    return true;
}

bool TNetObject::SetString(int32_t slot, const TString& value) {
    std::string utf8 = ToUtf8(value);
    if (!Settable(*this, slot) || utf8.size() > size_t(MAX_NET_STRING_BYTES)) return false;
    if (_slots.size() <= size_t(slot)) _slots.resize(size_t(slot) + 1);
    TSlot& s = _slots[size_t(slot)];
    if (s.type == NETSLOT_STRING && s.s == utf8) return true;
    s = TSlot{NETSLOT_STRING, 0, 0, std::move(utf8)};
    MarkDirty(slot);
    return true;
}

bool TNetObject::Close() {
    if (!IsMine() || !_open) return false;
    if (_announced) _host->closedOwn.push_back(uint32_t(_id));
    _host->CloseObject(shared_from_this(), false);
    return true;
}

int32_t TNetObject::SlotType(int32_t slot) const {
    return slot >= 0 && size_t(slot) < _slots.size() ? _slots[size_t(slot)].type : NETSLOT_NONE;
}

int32_t TNetObject::GetInt(int32_t slot) const { return SlotType(slot) == NETSLOT_INT ? _slots[size_t(slot)].i : 0; }

float TNetObject::GetFloat(int32_t slot) const {
    return SlotType(slot) == NETSLOT_FLOAT ? _slots[size_t(slot)].f : 0.0f;
}

TString TNetObject::GetString(int32_t slot) const {
    return SlotType(slot) == NETSLOT_STRING ? FromUtf8(_slots[size_t(slot)].s) : TString();
}

bool TNetObject::SendToOwner(const void* data, int32_t size) {
    if (!_host || !_open || size < 0 || size > MAX_NET_OBJECT_MESSAGE_BYTES || IsMine()) return false;
    std::vector<uint8_t> records;
    replication::PutMessage(records, _host->member, _owner, uint32_t(_id), static_cast<const uint8_t*>(data),
                            size_t(size));
    return _host->QueueToOwner(_owner, records);
}

// ---- Hosts

namespace {

void AutoPump(void* context) {
    auto* host = static_cast<TNetHost*>(context);
    TNetHostState* s = host->State();
    if (!s || s->pumping) return;
    // Every polled-input query pumps: service the network at most once a millisecond.
    const int64_t now = NowUs();
    if (now - s->lastPumpUs < 1000) return;
    host->Pump(0);
}

Ref<TNetHost> Fail(const std::string& why) {
    SetNetError(why);
    return nullptr;
}

bool ToEnetAddress(std::string_view host, int32_t port, ENetAddress& out, std::string& why) {
    out.port = enet_uint16(port);
    if (host.empty()) {
        out.host = ENET_HOST_ANY;
        return true;
    }
    for (const TNetAddress& a : ResolveHost(host, port)) {
        if (a.family != 4) continue;
        std::memcpy(&out.host, a.bytes, 4);
        return true;
    }
    why = "no IPv4 address for " + std::string(host);
    return false;
}

}  // namespace

Ref<TNetHost> TNetHost::Listen(std::string_view host, int32_t port, const TNetHostOptions& options) {
    const std::string where = std::string(host.empty() ? "*" : host) + ":" + std::to_string(port);
    if (!StartEnet()) return Fail("Cannot listen on " + where + ": ENet did not start");
    if (port < 0 || port > 65535 || options.maxPeers < 1 || options.maxPeers > 4095 || options.channels < 1 ||
        options.channels > MAX_NET_CHANNELS)
        return Fail("Cannot listen on " + where + ": invalid settings");
    ENetAddress address;
    std::string why;
    if (!ToEnetAddress(host, port, address, why)) return Fail("Cannot listen on " + where + ": " + why);
    ENetHost* enet = enet_host_create(&address, size_t(options.maxPeers), size_t(options.channels + 1), 0, 0);
    if (!enet) return Fail("Cannot listen on " + where + ": the port is taken or not ours");
    Ref<TNetHost> h(new TNetHost());
    h->_state = new TNetHostState();
    h->_state->self = h.get();
    h->_state->enet = enet;
    h->_state->listening = true;
    h->_state->member = 0;
    h->_state->channels = options.channels;
    h->_state->timeoutMs = std::max(200, options.timeoutMs);
    enet->maximumPacketSize = size_t(MAX_NET_BATCH_BYTES);
    enet->maximumWaitingData = size_t(MAX_NET_BATCH_BYTES) * 4;
    if (options.autoPump) {
        h->_state->autoPump = true;
        AddSystemPoller(AutoPump, h.get());
    }
    ClearNetError();
    return h;
}

Ref<TNetHost> TNetHost::Connect(std::string_view host, int32_t port, const TNetHostOptions& options) {
    const std::string where = std::string(host) + ":" + std::to_string(port);
    if (!StartEnet()) return Fail("Cannot connect to " + where + ": ENet did not start");
    if (port < 1 || port > 65535 || options.channels < 1 || options.channels > MAX_NET_CHANNELS)
        return Fail("Cannot connect to " + where + ": invalid settings");
    ENetAddress address;
    std::string why;
    if (!ToEnetAddress(host.empty() ? "127.0.0.1" : host, port, address, why))
        return Fail("Cannot connect to " + where + ": " + why);
    ENetHost* enet = enet_host_create(nullptr, 1, size_t(options.channels + 1), 0, 0);
    if (!enet) return Fail("Cannot connect to " + where + ": no socket");
    enet->maximumPacketSize = size_t(MAX_NET_BATCH_BYTES);
    enet->maximumWaitingData = size_t(MAX_NET_BATCH_BYTES) * 4;
    ENetPeer* p = enet_host_connect(enet, &address, size_t(options.channels + 1), CONNECT_TAG);
    if (!p) {
        enet_host_destroy(enet);
        return Fail("Cannot connect to " + where + ": no peer slot");
    }
    Ref<TNetHost> h(new TNetHost());
    TNetHostState* s = h->_state = new TNetHostState();
    s->self = h.get();
    s->enet = enet;
    s->channels = options.channels;
    s->timeoutMs = std::max(200, options.timeoutMs);
    enet_peer_timeout(p, 0, enet_uint32(s->timeoutMs), enet_uint32(s->timeoutMs));
    Ref<TNetPeer> peer(new TNetPeer());
    peer->_host = s;
    peer->_enet = p;
    peer->_member = 0;
    p->data = peer.get();
    s->pending = peer;
    s->peers.push_back(peer);  // joins on the welcome
    if (options.autoPump) {
        s->autoPump = true;
        AddSystemPoller(AutoPump, h.get());
    }
    ClearNetError();
    return h;
}

TNetHost::~TNetHost() {
    Close();
}

bool TNetHost::IsListening() const { return _state && _state->listening; }

int32_t TNetHost::MemberId() const { return _state ? _state->member : -1; }

TNetAddress TNetHost::LocalAddress() const {
    TNetAddress a;
    if (!_state) return a;
    a.family = 4;
    std::memcpy(a.bytes, &_state->enet->address.host, 4);
    a.port = _state->enet->address.port;
    if (a.port == 0 || _state->enet->address.host == ENET_HOST_ANY) {
        // ENet keeps what was asked for; the socket knows the rest.
        ENetAddress bound;
        if (enet_socket_get_address(_state->enet->socket, &bound) == 0) {
            a.port = bound.port;
            if (_state->enet->address.host != ENET_HOST_ANY) std::memcpy(a.bytes, &bound.host, 4);
        }
    }
    return a;
}

std::vector<Ref<TNetPeer>> TNetHost::Peers() const {
    std::vector<Ref<TNetPeer>> out;
    if (_state)
        for (const Ref<TNetPeer>& p : _state->peers)
            if (p->Connected() && (_state->listening || _state->member >= 0)) out.push_back(p);
    return out;
}

void TNetHost::Broadcast(int32_t channel, const void* data, int32_t size, bool reliable) {
    for (const Ref<TNetPeer>& p : Peers()) p->Send(channel, data, size, reliable);
}

int32_t TNetHost::Pump(int32_t waitMs) {
    TNetHostState* s = _state;
    if (!s || s->pumping) return 0;
    s->pumping = true;
    s->lastPumpUs = NowUs();
    s->Flush(false);  // the service sends it
    s->Service(waitMs);
    s->Flush();  // relays and snapshots go out at once
    if (s->enet->totalSentData > 0x40000000u || s->enet->totalReceivedData > 0x40000000u) Collect(*s);
    std::vector<TNetHostState::TPending> events;
    events.swap(s->events);
    s->pumping = false;
    // Emitted last: a hook may create, set, close or even close the host.
    Ref<TNetHost> keep = shared_from_this();
    Ref<TEvent> event;  // filled again for the next unless a hook kept it
    for (TNetHostState::TPending& p : events) {
        if (!event) event = std::make_shared<TEvent>();
        event->id = p.id;
        event->source = std::move(p.source);
        event->data = p.data;
        event->mods = 0;
        event->x = p.x;
        event->y = p.y;
        event->extra = std::move(p.extra);
        RunHookChain(EventEmitHookId(), event);
        if (event.use_count() == 1) {
            event->source = nullptr;
            event->extra = nullptr;
        } else {
            event = nullptr;
        }
    }
    const auto emitted = int32_t(events.size());
    if (_state && _state->events.empty()) {
        events.clear();
        _state->events.swap(events);  // its capacity serves the next pump
    }
    return emitted;
}

void TNetHost::Close() {
    TNetHostState* s = _state;
    if (!s) return;
    if (s->autoPump) RemoveSystemPoller(AutoPump, this);
    s->Flush();
    // A polite leave, in a short pump: first what was sent is acknowledged (so the other side
    // has taken it in before it hears of the leave), then the leave itself.
    auto settle = [s](int32_t ms, auto&& done) {
        const int64_t end = NowUs() + int64_t(ms) * 1000;
        ENetEvent e;
        while (!done() && NowUs() < end)
            if (enet_host_service(s->enet, &e, 5) > 0 && e.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(e.packet);
    };
    auto live = [s] {
        std::vector<ENetPeer*> out;
        for (const Ref<TNetPeer>& p : s->peers)
            if (auto* e = static_cast<ENetPeer*>(p->_enet); e && e->state == ENET_PEER_STATE_CONNECTED) out.push_back(e);
        return out;
    };
    const std::vector<ENetPeer*> peers = live();
    settle(250, [&] {
        for (ENetPeer* e : peers)
            if (e->reliableDataInTransit || !enet_list_empty(&e->outgoingCommands)) return false;
        return true;
    });
    for (ENetPeer* e : peers) enet_peer_disconnect(e, LEAVE_TAG);
    settle(250, [&] {
        for (ENetPeer* e : peers)
            if (e->state != ENET_PEER_STATE_DISCONNECTED && e->state != ENET_PEER_STATE_ZOMBIE) return false;
        return true;
    });
    for (const Ref<TNetPeer>& p : s->peers) {
        if (auto* e = static_cast<ENetPeer*>(p->_enet)) e->data = nullptr;
        p->_enet = nullptr;
        p->_host = nullptr;
    }
    for (auto& [key, object] : s->objects) {
        object->_open = false;
        object->_host = nullptr;
    }
    if (s->pending) s->pending->_enet = nullptr;
    enet_host_destroy(s->enet);
    _state = nullptr;
    delete s;
}

int64_t TNetHost::BytesSent() {
    if (!_state) return 0;
    Collect(*_state);
    return _state->sent;
}

int64_t TNetHost::BytesReceived() {
    if (!_state) return 0;
    Collect(*_state);
    return _state->received;
}

Ref<TNetObject> TNetHost::CreateObject() {
    TNetHostState* s = _state;
    if (!s || s->member < 0 || s->owned[s->member] >= MAX_NET_OBJECTS_PER_PEER) return nullptr;
    auto o = std::make_shared<TNetObject>();
    o->_host = s;
    o->_owner = s->member;
    o->_id = int32_t(s->nextObject++);
    s->objects[Key(o->_owner, uint32_t(o->_id))] = o;
    ++s->owned[s->member];
    s->dirtyOwn.push_back(o);  // its opening goes out with the next send
    return o;
}

std::vector<Ref<TNetObject>> TNetHost::Objects() const {
    std::vector<Ref<TNetObject>> out;
    if (_state) out = _state->Sorted();
    return out;
}

Ref<TNetObject> TNetHost::FindObject(int32_t owner, int32_t id) const {
    return _state ? _state->FindObject(owner, uint32_t(id)) : nullptr;
}

Ref<TNetPeer> EventPeer(const Ref<TObject>& source) { return std::dynamic_pointer_cast<TNetPeer>(source); }

Ref<TNetObject> EventObject(const Ref<TObject>& source) { return std::dynamic_pointer_cast<TNetObject>(source); }

uint64_t EventSlots(const TEvent& event) {
    if (event.id != EVENT_NETOBJECTCHANGE) return 0;
    return uint64_t(uint32_t(event.x)) | uint64_t(uint32_t(event.y)) << 32;
}

}  // namespace corvex
