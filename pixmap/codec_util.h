// Helpers the codecs share (not part of the public interface).
#pragma once

#include <exception>

#include <corvex/stream/stream.h>

namespace corvex::detail {

// Closes a stream on every way out of a scope, exceptions included.
class TCloseOnExit {
public:
    explicit TCloseOnExit(const Ref<TStream>& stream) : _stream(stream) {}
    TCloseOnExit(const TCloseOnExit&) = delete;
    TCloseOnExit& operator=(const TCloseOnExit&) = delete;
    ~TCloseOnExit() {
        if (_stream) _stream->Close();
    }

private:
    const Ref<TStream>& _stream;
};

// Rethrows error unless it is a TStreamException (a failed read or write, which the codecs
// report as failure instead). Does nothing for an empty error.
inline void RethrowUnlessStreamError(const std::exception_ptr& error) {
    if (!error) return;
    try {
        std::rethrow_exception(error);
    } catch (const TStreamException&) {
    }
}

// Reads exactly count bytes; false when the stream ends first. A Read that makes no progress
// before the end raises TStreamReadException, as ReadBytes does.
bool ReadExactly(TStream& stream, void* buffer, int32_t count);

}  // namespace corvex::detail
