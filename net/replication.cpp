// Encoding and checked decoding of replication records.
#include "net/replication.h"

#include <cstring>

namespace corvex::replication {

namespace {

class TReader {
public:
    TReader(const uint8_t* data, size_t size) : _p(data), _end(data + size) {}
    bool More() const { return _p < _end; }
    bool U8(uint8_t& v) { return Take(&v, 1); }
    bool U16(int32_t& v) {
        uint8_t b[2];
        if (!Take(b, 2)) return false;
        v = b[0] | b[1] << 8;
        return true;
    }
    bool U32(uint32_t& v) {
        uint8_t b[4];
        if (!Take(b, 4)) return false;
        v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return true;
    }
    bool Bytes(size_t n, std::vector<uint8_t>& out) {
        if (size_t(_end - _p) < n) return false;
        out.assign(_p, _p + n);
        _p += n;
        return true;
    }

private:
    bool Take(uint8_t* out, size_t n) {
        if (size_t(_end - _p) < n) return false;
        std::memcpy(out, _p, n);
        _p += n;
        return true;
    }
    const uint8_t* _p;
    const uint8_t* _end;
};

void Put16(std::vector<uint8_t>& out, int32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

bool Fail(std::string& why, const char* text) {
    why = text;
    return false;
}

}  // namespace

bool Decode(const uint8_t* data, size_t size, std::vector<TRecord>& out, std::string& why) {
    if (size > size_t(MAX_NET_BATCH_BYTES)) return Fail(why, "replication packet too long");
    TReader r(data, size);
    while (r.More()) {
        TRecord rec;
        if (!r.U8(rec.kind)) return Fail(why, "truncated record");
        switch (rec.kind) {
            case REC_WELCOME:
                if (!r.U16(rec.member)) return Fail(why, "truncated welcome");
                break;
            case REC_OPEN:
            case REC_CLOSE:
                if (!r.U16(rec.owner) || !r.U32(rec.id)) return Fail(why, "truncated object record");
                break;
            case REC_SET: {
                uint8_t slot = 0, type = 0;
                if (!r.U16(rec.owner) || !r.U32(rec.id) || !r.U8(slot) || !r.U8(type))
                    return Fail(why, "truncated slot record");
                if (slot >= MAX_NET_SLOTS) return Fail(why, "slot number out of range");
                rec.slot = slot;
                rec.value.type = type;
                uint32_t raw = 0;
                if (type == NETSLOT_INT) {
                    if (!r.U32(raw)) return Fail(why, "truncated integer");
                    rec.value.i = int32_t(raw);
                } else if (type == NETSLOT_FLOAT) {
                    if (!r.U32(raw)) return Fail(why, "truncated float");
                    std::memcpy(&rec.value.f, &raw, 4);
                } else if (type == NETSLOT_STRING) {
                    int32_t length = 0;
                    std::vector<uint8_t> bytes;
                    if (!r.U16(length)) return Fail(why, "truncated string");
                    if (length > MAX_NET_STRING_BYTES) return Fail(why, "string too long");
                    if (!r.Bytes(size_t(length), bytes)) return Fail(why, "truncated string");
                    rec.value.s.assign(bytes.begin(), bytes.end());
                } else {
                    return Fail(why, "unknown slot type");
                }
                break;
            }
            case REC_MESSAGE: {
                int32_t length = 0;
                if (!r.U16(rec.member) || !r.U16(rec.owner) || !r.U32(rec.id) || !r.U16(length))
                    return Fail(why, "truncated message");
                if (length > MAX_NET_OBJECT_MESSAGE_BYTES) return Fail(why, "object message too long");
                if (!r.Bytes(size_t(length), rec.bytes)) return Fail(why, "truncated message");
                break;
            }
            default:
                return Fail(why, "unknown record");
        }
        out.push_back(std::move(rec));
    }
    return true;
}

size_t RecordLength(const uint8_t* data, size_t size) {
    // Decoding a prefix of growing length would be quadratic; the fixed part tells the length.
    if (size == 0) return 0;
    switch (data[0]) {
        case REC_WELCOME: return size >= 3 ? 3 : 0;
        case REC_OPEN:
        case REC_CLOSE: return size >= 7 ? 7 : 0;
        case REC_SET: {
            if (size < 9) return 0;
            const size_t n = data[8] == NETSLOT_STRING ? (size >= 11 ? 11 + size_t(data[9] | data[10] << 8) : 0) : 13;
            return n && n <= size ? n : 0;
        }
        case REC_MESSAGE: {
            if (size < 11) return 0;
            const size_t n = 11 + size_t(data[9] | data[10] << 8);
            return n <= size ? n : 0;
        }
        default: return 0;
    }
}

void PutWelcome(std::vector<uint8_t>& out, int32_t member) {
    out.push_back(REC_WELCOME);
    Put16(out, member);
}

void PutOpen(std::vector<uint8_t>& out, int32_t owner, uint32_t id) {
    out.push_back(REC_OPEN);
    Put16(out, owner);
    Put32(out, id);
}

void PutSet(std::vector<uint8_t>& out, int32_t owner, uint32_t id, int32_t slot, const TNetObject::TSlot& value) {
    out.push_back(REC_SET);
    Put16(out, owner);
    Put32(out, id);
    out.push_back(uint8_t(slot));
    out.push_back(uint8_t(value.type));
    if (value.type == NETSLOT_INT) {
        Put32(out, uint32_t(value.i));
    } else if (value.type == NETSLOT_FLOAT) {
        uint32_t raw;
        std::memcpy(&raw, &value.f, 4);
        Put32(out, raw);
    } else {
        Put16(out, int32_t(value.s.size()));
        out.insert(out.end(), value.s.begin(), value.s.end());
    }
}

void PutClose(std::vector<uint8_t>& out, int32_t owner, uint32_t id) {
    out.push_back(REC_CLOSE);
    Put16(out, owner);
    Put32(out, id);
}

void PutMessage(std::vector<uint8_t>& out, int32_t from, int32_t owner, uint32_t id, const uint8_t* data,
                size_t size) {
    out.push_back(REC_MESSAGE);
    Put16(out, from);
    Put16(out, owner);
    Put32(out, id);
    Put16(out, int32_t(size));
    out.insert(out.end(), data, data + size);
}

}  // namespace corvex::replication
