#include "fetch/slot_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace quorvane {
namespace {

SlotStreamRef NewStream() {
    SlotStreamRef stream(SlotStream::Create());
    EXPECT_TRUE(stream);
    return stream;
}

// The little-endian 8-byte form the stream uses for counts and lengths.
Bytes Count(std::uint64_t value) {
    Bytes out;
    for (int i = 0; i < 8; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

Bytes RecordOf(const FetchSlots& slots) {
    SlotStreamRef stream = NewStream();
    EXPECT_TRUE(stream->Write(slots));
    return stream->RawBytes();
}

// Reads `raw` as a stream into a variable that holds a marker; the marker must survive
// every failed read.
bool ReadsAs(const Bytes& raw, FetchSlots& slots) {
    SlotStreamRef stream = NewStream();
    stream->RawBytes() = raw;
    return stream->Read(slots);
}

const FetchSlots kMarker = {"unchanged", Bytes("\0", 1)};

TEST(SlotStream, RoundTrips) {
    Bytes big(10 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < big.size(); i += 4099) big[i] = static_cast<char>(i & 0xFF);
    const std::vector<FetchSlots> cases = {
        {},
        {""},
        {"", "", ""},
        {Bytes("\0", 1), Bytes("a\0b\0", 4), Bytes("\0\0\0", 3)},
        {"http://127.0.0.1:80/applymail", "POST", "", "Content-Type: x\r\n", "mail=a%40b", "", ""},
        {"head", big, "tail"},
    };
    for (const FetchSlots& written : cases) {
        SCOPED_TRACE(written.size());
        SlotStreamRef stream = NewStream();
        ASSERT_TRUE(stream->Write(written));
        stream->Rewind();
        FetchSlots read = kMarker;
        ASSERT_TRUE(stream->Read(read));
        EXPECT_TRUE(read == written);
    }
}

TEST(SlotStream, ReadReplacesAVariableOfAnyElementCount) {
    SlotStreamRef stream = NewStream();
    ASSERT_TRUE(stream->Write({"a", "b"}));
    stream->Rewind();
    FetchSlots many(10, "old");
    ASSERT_TRUE(stream->Read(many));
    EXPECT_EQ(many, (FetchSlots{"a", "b"}));

    SlotStreamRef seven = NewStream();
    ASSERT_TRUE(seven->Write(FetchSlots(kFetchSlotCount, "x")));
    seven->Rewind();
    FetchSlots none;
    ASSERT_TRUE(seven->Read(none));
    EXPECT_EQ(none.size(), kFetchSlotCount);
}

TEST(SlotStream, ResultsWrittenOverALongerRequestReadBackAsTheResults) {
    SlotStreamRef stream = NewStream();
    const FetchSlots request = {"http://h/long/address", "POST", "", "headers", Bytes(5000, 'p'), "", ""};
    const FetchSlots results = {Bytes("b\0dy", 4), "c=1", "", "", "", "HTTP/1.1 200 OK", ""};
    ASSERT_TRUE(stream->Write(request));
    stream->Rewind();
    FetchSlots read;
    ASSERT_TRUE(stream->Read(read));
    EXPECT_EQ(read, request);
    stream->Rewind();
    ASSERT_TRUE(stream->Write(results));
    stream->Rewind();
    ASSERT_TRUE(stream->Read(read));
    EXPECT_EQ(read, results);
}

TEST(SlotStream, ReadsArraysInTheOrderWrittenAndFailsAtTheEnd) {
    SlotStreamRef stream = NewStream();
    ASSERT_TRUE(stream->Write({"one"}));
    ASSERT_TRUE(stream->Write({"two", ""}));
    stream->Rewind();
    FetchSlots read;
    ASSERT_TRUE(stream->Read(read));
    EXPECT_EQ(read, FetchSlots{"one"});
    ASSERT_TRUE(stream->Read(read));
    EXPECT_EQ(read, (FetchSlots{"two", ""}));
    EXPECT_FALSE(stream->Read(read));
    EXPECT_EQ(read, (FetchSlots{"two", ""}));
}

TEST(SlotStream, EveryTruncationReadsAsFailure) {
    const Bytes full = RecordOf({"ab", "", Bytes("\0c", 2)});
    for (std::size_t length = 0; length < full.size(); ++length) {
        SCOPED_TRACE(length);
        FetchSlots slots = kMarker;
        EXPECT_FALSE(ReadsAs(full.substr(0, length), slots));
        EXPECT_EQ(slots, kMarker);
    }
    FetchSlots slots = kMarker;
    EXPECT_TRUE(ReadsAs(full, slots));
}

TEST(SlotStream, CorruptInputReadsAsFailure) {
    const Bytes good = RecordOf({"ab"});
    const Bytes tag = good.substr(0, 4);
    Bytes bad_tag = good;
    bad_tag[0] ^= 0x20;
    const std::vector<Bytes> cases = {
        bad_tag,
        Bytes(good.size(), '\0'),
        tag + Count(UINT64_MAX),
        tag + Count(std::uint64_t{1} << 61) + Count(2) + "ab",
        tag + Count(2) + Count(2) + "ab",                 // a second element is missing
        tag + Count(1) + Count(UINT64_MAX) + "ab",
        tag + Count(1) + Count(std::uint64_t{1} << 63) + "ab",
        tag + Count(1) + Count(3) + "ab",                 // one byte short
        tag + Count(1000000) + Bytes(64, '\0'),
        Bytes("garbage\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"),
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        FetchSlots slots = kMarker;
        EXPECT_FALSE(ReadsAs(cases[i], slots));
        EXPECT_EQ(slots, kMarker);
    }
}

TEST(SlotStream, ReadFromAnEmptyStreamFails) {
    SlotStreamRef stream = NewStream();
    FetchSlots slots = kMarker;
    EXPECT_FALSE(stream->Read(slots));
    EXPECT_EQ(slots, kMarker);
}

// The caller and the worker each hold a reference; whichever closes last frees the
// stream, exactly once (the sanitizers report a double free or a leak).
TEST(SlotStream, TwoOwnersOnTwoThreadsFreeItOnce) {
    for (int round = 0; round < 200; ++round) {
        SlotStream* stream = SlotStream::Create();
        ASSERT_NE(stream, nullptr);
        ASSERT_TRUE(stream->Write({"request"}));
        stream->AddRef();
        std::thread worker([stream] {
            stream->Rewind();
            FetchSlots slots;
            if (stream->Read(slots)) {
                stream->Rewind();
                stream->Write({"result"});
            }
            stream->Close();
        });
        if (round % 2 == 0) worker.join();
        stream->Close();
        if (worker.joinable()) worker.join();
    }
}

TEST(SlotStreamRef, ClosesItsReferenceAndMoves) {
    SlotStream* stream = SlotStream::Create();
    ASSERT_NE(stream, nullptr);
    stream->AddRef();
    {
        SlotStreamRef first(stream);
        SlotStreamRef second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), stream);
        SlotStreamRef third;
        third = std::move(second);
        EXPECT_EQ(third.get(), stream);
    }
    // One reference is left, ours.
    ASSERT_TRUE(stream->Write({"still alive"}));
    stream->Close();
}

}  // namespace
}  // namespace quorvane
