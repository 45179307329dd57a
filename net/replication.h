// The replication channel's wire format: a packet is a run of records, little-endian.
//   1 WELCOME  u16 member                      the listening host names a joiner
//   2 OPEN     u16 owner, u32 id               an object appears
//   3 SET      u16 owner, u32 id, u8 slot, u8 type, value
//              (type 1 i32, 2 f32, 3 u16 length + UTF-8 bytes)
//   4 CLOSE    u16 owner, u32 id               an object closes
//   5 MESSAGE  u16 from, u16 owner, u32 id, u16 length, bytes   a message to an object's owner
// In-tree code only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <corvex/net/host.h>

namespace corvex::replication {

constexpr uint8_t REC_WELCOME = 1;
constexpr uint8_t REC_OPEN = 2;
constexpr uint8_t REC_SET = 3;
constexpr uint8_t REC_CLOSE = 4;
constexpr uint8_t REC_MESSAGE = 5;

struct TRecord {
    uint8_t kind = 0;       // REC_*
    int32_t member = 0;     // WELCOME: the member id; MESSAGE: the sender
    int32_t owner = 0;      // the object's owner
    uint32_t id = 0;        // the object's id
    int32_t slot = 0;       // SET: the slot
    TNetObject::TSlot value;       // SET: the value
    std::vector<uint8_t> bytes;    // MESSAGE: the message
};

// Decodes a whole packet; false (with why) at the first malformed or oversized record, in which
// case out holds the records before it. Never reads outside data, allocates at most size bytes more.
bool Decode(const uint8_t* data, size_t size, std::vector<TRecord>& out, std::string& why);

// The length of the well-formed record at data (our own encoding), 0 if it is not one.
size_t RecordLength(const uint8_t* data, size_t size);

// Appends one record.
void PutWelcome(std::vector<uint8_t>& out, int32_t member);
void PutOpen(std::vector<uint8_t>& out, int32_t owner, uint32_t id);
void PutSet(std::vector<uint8_t>& out, int32_t owner, uint32_t id, int32_t slot, const TNetObject::TSlot& value);
void PutClose(std::vector<uint8_t>& out, int32_t owner, uint32_t id);
void PutMessage(std::vector<uint8_t>& out, int32_t from, int32_t owner, uint32_t id, const uint8_t* data,
                size_t size);

}  // namespace corvex::replication
