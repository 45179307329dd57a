// Game hosts over ENet, and objects replicated across them.
//
// One host listens; others connect to it (a star: joiners talk to each other through the
// listening host). Each host pumps itself inside PollSystemEvents / WaitSystemEvents, so a
// program that polls input or waits for events needs no thread of its own; Pump() does the
// same by hand. What happens arrives as events on the event chain (TEvent::Emit) with the
// host's peers and objects as sources.
//
// Replicated objects: numbered slots 0..MAX_NET_SLOTS-1 holding an integer, a float or a
// string. The host that creates an object owns it: only it sets slots and closes it. Every
// connected host sees it open, change and close; a joiner receives every open object first;
// the objects of a host that leaves close everywhere. Slot changes collect until the next pump
// and travel once per pump, only the slots that changed, on a reliable channel of their own.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <corvex/net/socket.h>
#include <corvex/runtime/object.h>
#include <corvex/runtime/string.h>

namespace corvex {

class TEvent;
class TNetHost;
struct TNetHostState;

// ---- Events (source: a TNetPeer or a TNetObject) ------------------------------------------------
constexpr int32_t EVENT_NETJOIN = 0x80001;     // a peer connected; data: its member id
constexpr int32_t EVENT_NETLEAVE = 0x80002;    // a peer disconnected on purpose (or was disconnected)
constexpr int32_t EVENT_NETTIMEOUT = 0x80003;  // a peer stopped answering, or a connection attempt failed
constexpr int32_t EVENT_NETMESSAGE = 0x80004;  // a message from a peer; data: channel; extra: TNetMessage
constexpr int32_t EVENT_NETDROP = 0x80005;     // a peer broke the protocol and was dropped; extra: the reason
constexpr int32_t EVENT_NETOBJECTOPEN = 0x80011;    // an object of another host appeared
// Slots of it changed, in one update from its owner: data: the lowest; EventSlots(): all of them.
constexpr int32_t EVENT_NETOBJECTCHANGE = 0x80012;
constexpr int32_t EVENT_NETOBJECTCLOSE = 0x80013;   // it closed (by its owner, or its owner left)
constexpr int32_t EVENT_NETOBJECTMESSAGE = 0x80014; // a message to an object this host owns; data: sender's member id; extra: TNetMessage

// ---- Limits (documented in the README; a peer that exceeds one is dropped) ----------------------
constexpr int32_t MAX_NET_CHANNELS = 16;           // message channels per host
constexpr int32_t MAX_NET_MESSAGE_BYTES = 65536;   // one message on a channel
constexpr int32_t MAX_NET_OBJECTS_PER_PEER = 4096; // open objects one host may own
constexpr int32_t MAX_NET_SLOTS = 64;              // slots per object: 0..63
constexpr int32_t MAX_NET_STRING_BYTES = 1024;     // one string slot, in UTF-8 bytes
constexpr int32_t MAX_NET_OBJECT_MESSAGE_BYTES = 4096;  // a message to an object's owner
constexpr int32_t MAX_NET_BATCH_BYTES = 262144;    // one replication packet

// Slot types.
constexpr int32_t NETSLOT_NONE = 0;    // never set
constexpr int32_t NETSLOT_INT = 1;     // 32-bit signed
constexpr int32_t NETSLOT_FLOAT = 2;   // IEEE single
constexpr int32_t NETSLOT_STRING = 3;  // text (UTF-16 here, UTF-8 on the wire)

// Bytes carried by a message event.
class TNetMessage : public TObject {
public:
    std::vector<uint8_t> bytes;  // the message as sent
    std::string Text() const { return std::string(bytes.begin(), bytes.end()); }  // the bytes as a string
};

// Another host directly connected to this one.
class TNetPeer : public TObject {
public:
    int32_t MemberId() const { return _member; }  // the peer's member id (the listening host is 0)
    TNetAddress Address() const;                  // where its datagrams come from
    bool Connected() const;                       // joined and not yet gone
    int32_t RoundTripTime() const;                // mean round-trip time in ms; 0 when gone
    // A message on channel 0..channels-1; reliable ones arrive once and in order. False if gone or too long.
    bool Send(int32_t channel, const void* data, int32_t size, bool reliable);
    bool Send(int32_t channel, std::string_view text, bool reliable);  // the bytes of text
    void Disconnect();  // leaves politely: the peer sees EVENT_NETLEAVE, this host too once done
    TNetHost* Host() const;  // the host it belongs to; nullptr once that closed

private:
    friend class TNetHost;
    friend struct TNetHostState;
    TNetHostState* _host = nullptr;
    void* _enet = nullptr;  // the ENetPeer; nullptr once gone
    int32_t _member = -1;
    bool _joined = false;
    bool _leaving = false;
};

// A replicated object: owned by the host that created it, seen by the others.
class TNetObject : public TObject, public std::enable_shared_from_this<TNetObject> {
public:
    int32_t Owner() const { return _owner; }  // the owner's member id
    int32_t Id() const { return _id; }        // unique among its owner's objects
    bool IsMine() const;                      // owned by this host
    bool IsOpen() const { return _open; }     // not yet closed

    // Owner only, on an open object (otherwise false): slots 0..MAX_NET_SLOTS-1.
    bool SetInt(int32_t slot, int32_t value);
    bool SetFloat(int32_t slot, float value);
    bool SetString(int32_t slot, const TString& value);  // false beyond MAX_NET_STRING_BYTES
    bool Close();                                        // closes it everywhere

    int32_t SlotType(int32_t slot) const;     // NETSLOT_*; NETSLOT_NONE outside the range
    int32_t GetInt(int32_t slot) const;       // 0 unless an integer slot
    float GetFloat(int32_t slot) const;       // 0 unless a float slot
    TString GetString(int32_t slot) const;    // "" unless a string slot
    // A message to the owner (an EVENT_NETOBJECTMESSAGE there); false if too long or gone.
    bool SendToOwner(const void* data, int32_t size);
    TNetHost* Host() const;  // the host it lives on; nullptr once that closed

    // One slot's value.
    struct TSlot {
        int32_t type = NETSLOT_NONE;  // NETSLOT_*
        int32_t i = 0;                // the integer
        float f = 0;                  // the float
        std::string s;                // the string, UTF-8
    };

private:
    friend class TNetHost;
    friend struct TNetHostState;
    void MarkDirty(int32_t slot);  // queues it for the next send
    TNetHostState* _host = nullptr;
    int32_t _owner = 0;
    int32_t _id = 0;
    bool _open = true;
    std::vector<TSlot> _slots;  // grows to the highest slot set
    uint64_t _dirty = 0;        // slots changed since the last send (owner only)
    bool _announced = false;    // its opening has been sent
};

// Settings of a host.
struct TNetHostOptions {
    int32_t maxPeers = 32;         // connections a listening host accepts (1..4095)
    int32_t channels = 2;          // message channels 0..channels-1 (1..MAX_NET_CHANNELS)
    int32_t timeoutMs = 5000;      // a peer silent this long has timed out (at least 200)
    bool autoPump = true;          // pump inside PollSystemEvents / WaitSystemEvents
};

// An ENet host: listening for peers, or connected to a listening host.
class TNetHost : public TObject, public std::enable_shared_from_this<TNetHost> {
public:
    // Listens on host:port ("" every interface; port 0 picks one). Null with NetError() on failure.
    static Ref<TNetHost> Listen(std::string_view host, int32_t port, const TNetHostOptions& options = {});
    // Starts connecting to host:port: EVENT_NETJOIN when done, EVENT_NETTIMEOUT when it fails.
    static Ref<TNetHost> Connect(std::string_view host, int32_t port, const TNetHostOptions& options = {});
    ~TNetHost() override;

    bool IsListening() const;        // made by Listen
    int32_t MemberId() const;        // this host's member id: 0 when listening, -1 until a joiner is welcomed
    TNetAddress LocalAddress() const;  // the bound address (its port is the one to join)
    std::vector<Ref<TNetPeer>> Peers() const;  // connected peers, in joining order
    void Broadcast(int32_t channel, const void* data, int32_t size, bool reliable);  // to every peer

    // Sends what collected, takes in what arrived (waiting up to waitMs for the first datagram),
    // and emits the events. Returns the number of events emitted.
    int32_t Pump(int32_t waitMs = 0);
    void Close();  // leaves every peer politely (a short pump), then closes; a second Close does nothing

    int64_t BytesSent();      // UDP payload bytes sent since the host was made
    int64_t BytesReceived();  // UDP payload bytes received since the host was made

    Ref<TNetObject> CreateObject();  // a new object owned by this host; Null when closed or at the limit
    std::vector<Ref<TNetObject>> Objects() const;  // every open object this host knows, its own included
    Ref<TNetObject> FindObject(int32_t owner, int32_t id) const;  // Null if not open here

    TNetHostState* State() const { return _state; }  // the host's internals (in-tree use)

private:
    TNetHost() = default;
    TNetHostState* _state = nullptr;
};

// The peer behind an event's source, or Null.
Ref<TNetPeer> EventPeer(const Ref<TObject>& source);
// The object behind an event's source, or Null.
Ref<TNetObject> EventObject(const Ref<TObject>& source);
// The slots an EVENT_NETOBJECTCHANGE names, bit n for slot n (carried in its x and y); 0 for
// any other event.
uint64_t EventSlots(const TEvent& event);

}  // namespace corvex
