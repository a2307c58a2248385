// Version numbers as the library reports them: A.B.C.D packed into 32 bits,
// A in the most significant byte.
#pragma once

#include <cstdint>
#include <string>

namespace version {

// "%d.%d.%d.%d", most significant byte first: 0x01000007 -> "1.0.0.7".
std::wstring Dotted(std::uint32_t packed);

}  // namespace version
