#include "fetch/slot_stream.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

namespace quorvane {
namespace {

// Layout: a 4-byte tag, an 8-byte element count, then per element an 8-byte length and
// its bytes. Integers are little-endian.
constexpr char kTag[4] = {'Q', 'S', 'L', '1'};

bool TakeCount(const Bytes& in, std::size_t& at, std::uint64_t& value) {
    if (in.size() < at || in.size() - at < 8) return false;
    value = 0;
    for (int i = 0; i < 8; ++i) value |= std::uint64_t{static_cast<unsigned char>(in[at + i])} << (8 * i);
    at += 8;
    return true;
}

}  // namespace

SlotStream* SlotStream::Create() { return new (std::nothrow) SlotStream(); }

void SlotStream::AddRef() { references_.fetch_add(1, std::memory_order_relaxed); }

void SlotStream::Close() {
    if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

bool SlotStream::Write(const FetchSlots& slots) {
    // The record's size first, so that growing the stream is the one step that can fail
    // and a failed write leaves it unchanged.
    std::size_t size = sizeof kTag + 8;
    for (const Bytes& slot : slots) {
        if (slot.size() > SIZE_MAX - size - 8) return false;
        size += 8 + slot.size();
    }
    if (size > SIZE_MAX - position_) return false;
    try {
        if (data_.size() < position_ + size) data_.resize(position_ + size);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    char* out = data_.data() + position_;
    auto put = [&out](std::uint64_t value) {
        for (int i = 0; i < 8; ++i) *out++ = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    std::memcpy(out, kTag, sizeof kTag);
    out += sizeof kTag;
    put(slots.size());
    for (const Bytes& slot : slots) {
        put(slot.size());
        if (!slot.empty()) std::memcpy(out, slot.data(), slot.size());
        out += slot.size();
    }
    position_ += size;
    return true;
}

void SlotStream::Rewind() { position_ = 0; }

bool SlotStream::Read(FetchSlots& slots) {
    try {
        std::size_t at = position_;
        if (data_.size() < at || data_.size() - at < sizeof kTag ||
            std::memcmp(data_.data() + at, kTag, sizeof kTag) != 0) {
            return false;
        }
        at += sizeof kTag;
        std::uint64_t count = 0;
        if (!TakeCount(data_, at, count)) return false;
        // Every element needs at least its length field: a larger count is corrupt.
        if (count > (data_.size() - at) / 8) return false;
        FetchSlots read;
        read.reserve(static_cast<std::size_t>(count));
        for (std::uint64_t i = 0; i < count; ++i) {
            std::uint64_t length = 0;
            if (!TakeCount(data_, at, length) || length > data_.size() - at) return false;
            read.emplace_back(data_, at, static_cast<std::size_t>(length));
            at += static_cast<std::size_t>(length);
        }
        slots = std::move(read);
        position_ = at;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

}  // namespace quorvane
