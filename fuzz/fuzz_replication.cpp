// The replication decoder of net hosts: any packet decodes or is refused, within its bytes.
#include "net/replication.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<corvex::replication::TRecord> records;
    std::string why;
    const bool ok = corvex::replication::Decode(data, size, records, why);
    if (!ok && why.empty()) __builtin_trap();
    // What decoded encodes back to the same bytes (a whole packet) or to its valid prefix.
    std::vector<uint8_t> again;
    for (const auto& r : records) {
        using namespace corvex::replication;
        switch (r.kind) {
            case REC_WELCOME: PutWelcome(again, r.member); break;
            case REC_OPEN: PutOpen(again, r.owner, r.id); break;
            case REC_SET: PutSet(again, r.owner, r.id, r.slot, r.value); break;
            case REC_CLOSE: PutClose(again, r.owner, r.id); break;
            case REC_MESSAGE: PutMessage(again, r.member, r.owner, r.id, r.bytes.data(), r.bytes.size()); break;
            default: __builtin_trap();
        }
    }
    if (again.size() > size || !std::equal(again.begin(), again.end(), data)) __builtin_trap();
    if (ok && again.size() != size) __builtin_trap();
    return 0;
}
