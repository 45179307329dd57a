// The replication channel's wire format: a packet is a run of records, little-endian.
//   1 WELCOME  u16 member                      the listening host names a joiner
//   2 OPEN     u16 owner, u32 id               an object appears
//   3 UPDATE   u16 owner, u16 count, then count entries of
//              varint id, varint mask (bit n: slot n changed, never 0), and for each bit from
//              the lowest: u8 type, value (1 i32, 2 f32, 3 u16 length + UTF-8 bytes)
//   4 CLOSE    u16 owner, u32 id               an object closes
//   5 MESSAGE  u16 from, u16 owner, u32 id, u16 length, bytes   a message to an object's owner
// Varints are LEB128, in their shortest form (ids up to 32 bits, masks up to 64).
// In-tree code only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <corvex/net/host.h>

namespace corvex::replication {

constexpr uint8_t REC_WELCOME = 1;
constexpr uint8_t REC_OPEN = 2;
constexpr uint8_t REC_UPDATE = 3;
constexpr uint8_t REC_CLOSE = 4;
constexpr uint8_t REC_MESSAGE = 5;

// One record; an UPDATE decodes into one record per entry.
struct TRecord {
    uint8_t kind = 0;       // REC_*
    int32_t member = 0;     // WELCOME: the member id; MESSAGE: the sender
    int32_t owner = 0;      // the object's owner
    uint32_t id = 0;        // the object's id
    uint64_t mask = 0;      // UPDATE: the slots that changed
    uint32_t first = 0;     // UPDATE: index of the lowest slot's value in TPacket::values
    uint32_t group = 0;     // UPDATE: on the first entry of a record, its entry count; 0 on the others
    const uint8_t* data = nullptr;  // MESSAGE: the message, inside the decoded packet
    size_t size = 0;                // MESSAGE: its length
};

// A decoded packet. Reused from packet to packet, so that steady traffic allocates nothing.
struct TPacket {
    std::vector<TRecord> records;
    std::vector<TNetObject::TSlot> values;  // UPDATE values, in record order
    void Clear() {
        records.clear();
        values.clear();
    }
};

// Decodes a whole packet into out (cleared first); false (with why) at the first malformed or
// oversized record, in which case out holds the records before it. Never reads outside data;
// what it stores is bounded by a small multiple of size.
bool Decode(const uint8_t* data, size_t size, TPacket& out, std::string& why);

// Appends one record.
void PutWelcome(std::vector<uint8_t>& out, int32_t member);
void PutOpen(std::vector<uint8_t>& out, int32_t owner, uint32_t id);
void PutClose(std::vector<uint8_t>& out, int32_t owner, uint32_t id);
void PutMessage(std::vector<uint8_t>& out, int32_t from, int32_t owner, uint32_t id, const uint8_t* data,
                size_t size);

// Bytes of an OPEN or CLOSE record.
constexpr size_t OBJECT_RECORD_BYTES = 7;
// Bytes an UPDATE record spends before its entries.
constexpr size_t UPDATE_HEADER_BYTES = 5;

// Bytes of one UPDATE entry: object id, mask and the values of slots[n] for each bit n.
size_t EntryBytes(uint32_t id, uint64_t mask, const TNetObject::TSlot* slots);

// Appends UPDATE entries, opening a new record whenever the last bytes of out are not its own
// (another record came between), the owner changes, or the record holds 65535 entries.
class TUpdateWriter {
public:
    explicit TUpdateWriter(std::vector<uint8_t>& out) : _out(out) {}
    // One entry: the values slots[n] for each bit n of mask (nonzero).
    void Add(int32_t owner, uint32_t id, uint64_t mask, const TNetObject::TSlot* slots);
    // True if the next Add for owner continues the current record (no header to pay).
    bool Continues(int32_t owner) const;
    // The next Add opens a new record (out was cleared or sent).
    void Reset() { _count = 0; }

private:
    std::vector<uint8_t>& _out;
    size_t _header = 0;  // offset of the current record's kind byte
    size_t _end = 0;     // out's size after the last entry; another size means another record came
    int32_t _owner = -1;
    uint32_t _count = 0;
};

}  // namespace corvex::replication
