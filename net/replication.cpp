// Encoding and checked decoding of replication records.
#include "net/replication.h"

#include <cstring>

namespace corvex::replication {

namespace {

class TReader {
public:
    TReader(const uint8_t* data, size_t size) : _p(data), _end(data + size) {}
    bool More() const { return _p < _end; }
    size_t Left() const { return size_t(_end - _p); }
    const uint8_t* At() const { return _p; }
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
    // LEB128 of at most bits bits, in its shortest form only (so that every value has one encoding).
    bool Varint(uint64_t& v, int bits) {
        v = 0;
        for (int shift = 0; shift < bits; shift += 7) {
            uint8_t b;
            if (!U8(b)) return false;
            const uint64_t part = b & 0x7F;
            if (shift + 7 > bits && part >> (bits - shift)) return false;  // beyond the width
            v |= part << shift;
            if (!(b & 0x80)) return shift == 0 || part != 0;              // no padding bytes
        }
        return false;
    }
    bool Skip(size_t n) {
        if (Left() < n) return false;
        _p += n;
        return true;
    }

private:
    bool Take(uint8_t* out, size_t n) {
        if (Left() < n) return false;
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

void PutVarint(std::vector<uint8_t>& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(uint8_t(v | 0x80));
        v >>= 7;
    }
    out.push_back(uint8_t(v));
}

size_t VarintBytes(uint64_t v) {
    size_t n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

bool Fail(std::string& why, const char* text) {
    why = text;
    return false;
}

// One slot value of an UPDATE entry.
bool Value(TReader& r, TNetObject::TSlot& value, std::string& why) {
    uint8_t type = 0;
    if (!r.U8(type)) return Fail(why, "truncated slot value");
    value.type = type;
    uint32_t raw = 0;
    if (type == NETSLOT_INT) {
        if (!r.U32(raw)) return Fail(why, "truncated integer");
        value.i = int32_t(raw);
    } else if (type == NETSLOT_FLOAT) {
        if (!r.U32(raw)) return Fail(why, "truncated float");
        std::memcpy(&value.f, &raw, 4);
    } else if (type == NETSLOT_STRING) {
        int32_t length = 0;
        if (!r.U16(length)) return Fail(why, "truncated string");
        if (length > MAX_NET_STRING_BYTES) return Fail(why, "string too long");
        const uint8_t* at = r.At();
        if (!r.Skip(size_t(length))) return Fail(why, "truncated string");
        value.s.assign(reinterpret_cast<const char*>(at), size_t(length));
    } else {
        return Fail(why, "unknown slot type");
    }
    return true;
}

}  // namespace

bool Decode(const uint8_t* data, size_t size, TPacket& out, std::string& why) {
    out.Clear();
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
            case REC_UPDATE: {
                int32_t count = 0;
                if (!r.U16(rec.owner) || !r.U16(count)) return Fail(why, "truncated update");
                if (count == 0) return Fail(why, "update without objects");
                // Each entry takes at least 5 bytes: a count beyond what is left is a lie.
                if (size_t(count) * 5 > r.Left()) return Fail(why, "truncated update");
                rec.group = uint32_t(count);
                // A record broken part-way leaves none of its entries behind.
                const size_t records = out.records.size(), values = out.values.size();
                auto undo = [&] {
                    out.records.resize(records);
                    out.values.resize(values);
                    return false;
                };
                auto broken = [&](const char* text) { return Fail(why, text) || undo(); };
                for (int32_t e = 0; e < count; ++e) {
                    uint64_t id = 0;
                    if (!r.Varint(id, 32) || !r.Varint(rec.mask, 64)) return broken("malformed update entry");
                    if (rec.mask == 0) return broken("update entry without slots");
                    rec.id = uint32_t(id);
                    rec.first = uint32_t(out.values.size());
                    for (uint64_t bits = rec.mask; bits; bits &= bits - 1) {
                        out.values.emplace_back();
                        if (!Value(r, out.values.back(), why)) return undo();
                    }
                    out.records.push_back(rec);
                    rec.group = 0;
                }
                continue;  // every entry stored already
            }
            case REC_MESSAGE: {
                int32_t length = 0;
                if (!r.U16(rec.member) || !r.U16(rec.owner) || !r.U32(rec.id) || !r.U16(length))
                    return Fail(why, "truncated message");
                if (length > MAX_NET_OBJECT_MESSAGE_BYTES) return Fail(why, "object message too long");
                rec.data = r.At();
                rec.size = size_t(length);
                if (!r.Skip(rec.size)) return Fail(why, "truncated message");
                break;
            }
            default:
                return Fail(why, "unknown record");
        }
        out.records.push_back(rec);
    }
    return true;
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

size_t EntryBytes(uint32_t id, uint64_t mask, const TNetObject::TSlot* slots) {
    size_t n = VarintBytes(id) + VarintBytes(mask);
    for (uint64_t bits = mask; bits; bits &= bits - 1) {
        const TNetObject::TSlot& s = slots[__builtin_ctzll(bits)];
        n += s.type == NETSLOT_STRING ? 3 + s.s.size() : 5;
    }
    return n;
}

bool TUpdateWriter::Continues(int32_t owner) const {
    return _count > 0 && _count < 65535 && _out.size() == _end && owner == _owner;
}

void TUpdateWriter::Add(int32_t owner, uint32_t id, uint64_t mask, const TNetObject::TSlot* slots) {
    if (!Continues(owner)) {
        _header = _out.size();
        _out.push_back(REC_UPDATE);
        Put16(_out, owner);
        Put16(_out, 0);
        _owner = owner;
        _count = 0;
    }
    ++_count;
    _out[_header + 3] = uint8_t(_count);
    _out[_header + 4] = uint8_t(_count >> 8);
    PutVarint(_out, id);
    PutVarint(_out, mask);
    for (uint64_t bits = mask; bits; bits &= bits - 1) {
        const TNetObject::TSlot& s = slots[__builtin_ctzll(bits)];
        _out.push_back(uint8_t(s.type));
        if (s.type == NETSLOT_INT) {
            Put32(_out, uint32_t(s.i));
        } else if (s.type == NETSLOT_FLOAT) {
            uint32_t raw;
            std::memcpy(&raw, &s.f, 4);
            Put32(_out, raw);
        } else {
            Put16(_out, int32_t(s.s.size()));
            _out.insert(_out.end(), s.s.begin(), s.s.end());
        }
    }
    _end = _out.size();
}

}  // namespace corvex::replication
