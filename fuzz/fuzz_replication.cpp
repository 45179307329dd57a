// The replication decoder of net hosts: any packet decodes or is refused, within its bytes.
#include "net/replication.h"

#include <algorithm>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvex::replication;
    TPacket packet;
    std::string why;
    const bool ok = Decode(data, size, packet, why);
    if (!ok && why.empty()) __builtin_trap();
    // What decoded encodes back to the same bytes (a whole packet) or to its valid prefix.
    std::vector<uint8_t> again;
    TUpdateWriter writer(again);
    for (const TRecord& r : packet.records) {
        switch (r.kind) {
            case REC_WELCOME: PutWelcome(again, r.member); break;
            case REC_OPEN: PutOpen(again, r.owner, r.id); break;
            case REC_CLOSE: PutClose(again, r.owner, r.id); break;
            case REC_MESSAGE:
                if (r.data < data || r.data + r.size > data + size) __builtin_trap();
                PutMessage(again, r.member, r.owner, r.id, r.data, r.size);
                break;
            case REC_UPDATE: {
                if (r.mask == 0) __builtin_trap();
                corvex::TNetObject::TSlot slots[corvex::MAX_NET_SLOTS];
                uint32_t k = r.first;
                for (uint64_t bits = r.mask; bits; bits &= bits - 1) {
                    if (k >= packet.values.size()) __builtin_trap();
                    slots[__builtin_ctzll(bits)] = packet.values[k++];
                }
                if (r.group) writer.Reset();  // the first entry of a record
                const size_t before = again.size();
                writer.Add(r.owner, r.id, r.mask, slots);
                if (again.size() - before - (r.group ? UPDATE_HEADER_BYTES : 0) != EntryBytes(r.id, r.mask, slots))
                    __builtin_trap();
                break;
            }
            default: __builtin_trap();
        }
    }
    if (again.size() > size || !std::equal(again.begin(), again.end(), data)) __builtin_trap();
    if (ok && again.size() != size) __builtin_trap();
    return 0;
}
