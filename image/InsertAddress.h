// The address rule of the insert-area dialog: where an "IAP (Data)" load goes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace image {

// Reads the address edit's text as an unsigned hexadecimal number, the way
// the C library's wcstoul(text, nullptr, 16) does with a 32-bit unsigned long:
// leading white space skipped, an optional sign (minus gives the two's
// complement), an optional "0x"/"0X", digits up to the first non-digit. No
// digits give 0; a value beyond 32 bits gives 0xFFFFFFFF (whatever the sign).
std::uint32_t ParseInsertAddress(std::wstring_view text);

// InsertOffset on OK: 0 for "AP (Code)", the edit's address for "IAP (Data)".
std::uint32_t InsertOffsetOnOk(bool dataAreaChecked, std::wstring_view addressText);

// The part's default data address as the edit shows it: "%08X".
std::wstring DataAddressText(std::uint32_t address);

}  // namespace image
