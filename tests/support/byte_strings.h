#pragma once
// Byte strings as the tests write them: bytes listed inline, and packets
// joined into one stream the way the encoder hands it to the transfer.

#include <cstdint>
#include <initializer_list>

#include "sysex.h"

namespace korvane::testing {

inline ByteString B(std::initializer_list<int> bytes) {
    ByteString out;
    for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

inline ByteString joined(std::initializer_list<ByteString> packets) {
    ByteString out;
    for (const ByteString& p : packets) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace korvane::testing
