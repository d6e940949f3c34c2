// Request slots and the default request lines that the transaction tests expect, shared by
// the tests through the recording fake and those against the loopback server.
#pragma once

#include "fetch/slot_stream.h"
#include "text/text.h"

namespace quorvane::samples {

inline const Text kYes = "\xD5\xE6";  // 真
inline const Text kNo = "\xBC\xD9";   // 假
inline const Text kAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; .NET CLR 3.0.04506.648; "
    ".NET CLR 3.5.21022)";
inline const Text kAccept =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*\r\n";

// The seven request slots: url, verb, proxy, headers, postData, cookies, redirect.
inline FetchSlots Slots(const Text& url, const Text& verb = "GET", const Text& proxy = "",
                        const Text& headers = "", const Bytes& postData = "", const Text& cookies = "",
                        const Text& redirect = kYes) {
    return {url, verb, proxy, headers, postData, cookies, redirect};
}

}  // namespace quorvane::samples
