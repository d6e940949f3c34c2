// A recording stand-in for WinInet: every call is logged with its arguments, in order, as
// one line of text, and the results come from a script. One fake at a time (the functions
// of the table are plain functions over one global state).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fetch/wininet_api.h"
#include "text/text.h"

namespace quorvane::testing {

// What the fake plays back. Handles are named in the log: "internet", "connection",
// "request".
struct FakeScript {
    bool openSucceeds = true;
    bool connectSucceeds = true;
    bool openRequestSucceeds = true;
    // Pieces the reads hand out, one per call; a read after the last gives 0 bytes. A piece
    // longer than the offered buffer is handed out in parts.
    std::vector<Bytes> bodyPieces;
    // The raw headers the query delivers; none: the query fails with
    // ERROR_HTTP_HEADER_NOT_FOUND. A buffer too small for the text and its zero makes the
    // query fail with ERROR_INSUFFICIENT_BUFFER and report the size needed.
    std::optional<Text> rawHeaders;
};

// The log and what the fake saw.
struct FakeRecord {
    std::vector<std::string> calls;
    // True when a read found its buffer still holding the start of the previous piece,
    // i.e. the buffer was not cleared between reads.
    bool readBufferKeptPreviousPiece = false;
};

// Resets the log and installs `script`; returns the table whose functions log into it.
const WinInetApi& FakeWinInet(const FakeScript& script = {});
FakeRecord& FakeLog();

}  // namespace quorvane::testing
