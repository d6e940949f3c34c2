// FetchSlots, the array of byte strings that carries a request to the fetch worker and the
// results back, and SlotStream, the in-memory stream that the array travels in.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "text/text.h"

namespace quorvane {

// Seven slots when made for a request: url, verb, proxy, headers, postData, cookies,
// redirect; on the way back: body, response cookies, -, -, -, raw headers, -.
using FetchSlots = std::vector<Bytes>;
inline constexpr std::size_t kFetchSlotCount = 7;

// A growable in-memory byte stream with one read/write position. It is shared between the
// caller of a fetch and its worker thread by reference counting: Create gives one
// reference, AddRef adds one, Close drops one and frees the stream with the last.
class SlotStream {
public:
    // A new empty stream, or nullptr when memory runs out.
    static SlotStream* Create();

    void AddRef();
    void Close();

    // Writes the array at the position (overwriting, growing as needed). False when
    // memory runs out; the stream is then unchanged.
    bool Write(const FetchSlots& slots);
    // Moves the position to the start.
    void Rewind();
    // Reads one array at the position into `slots`, replacing it whatever its size.
    // False, with `slots` unchanged, when the stream holds no whole array there.
    bool Read(FetchSlots& slots);

    // The stored bytes; for tests that corrupt or truncate a stream.
    Bytes& RawBytes() { return data_; }

    SlotStream(const SlotStream&) = delete;
    SlotStream& operator=(const SlotStream&) = delete;

private:
    SlotStream() = default;
    ~SlotStream() = default;

    std::atomic<long> references_{1};
    Bytes data_;
    std::size_t position_ = 0;
};

// Owns one reference to a SlotStream and closes it when it goes.
class SlotStreamRef {
public:
    SlotStreamRef() = default;
    explicit SlotStreamRef(SlotStream* adopted) : stream_(adopted) {}
    SlotStreamRef(SlotStreamRef&& other) noexcept : stream_(other.Release()) {}
    SlotStreamRef& operator=(SlotStreamRef&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~SlotStreamRef() { Reset(); }

    SlotStream* get() const { return stream_; }
    SlotStream* operator->() const { return stream_; }
    explicit operator bool() const { return stream_ != nullptr; }
    SlotStream* Release() {
        SlotStream* stream = stream_;
        stream_ = nullptr;
        return stream;
    }
    void Reset(SlotStream* adopted = nullptr) {
        if (stream_) stream_->Close();
        stream_ = adopted;
    }

private:
    SlotStream* stream_ = nullptr;
};

}  // namespace quorvane
