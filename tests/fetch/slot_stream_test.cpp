#include "fetch/slot_stream.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(SlotStream, ReadsBackWhatWasWritten) {
    SlotStreamRef stream(SlotStream::Create());
    ASSERT_TRUE(stream);
    const FetchSlots written = {"a", Bytes("\0b\0", 3), "", "ccc"};
    ASSERT_TRUE(stream->Write(written));
    stream->Rewind();
    FetchSlots read = {"old"};
    ASSERT_TRUE(stream->Read(read));
    EXPECT_EQ(read, written);
}

}  // namespace
}  // namespace quorvane
