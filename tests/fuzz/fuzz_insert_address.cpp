// The insert-area dialog's address rule against the C library's own wcstoul,
// which follows the same rule; a 32-bit build compares with it directly, a
// 64-bit build folds its 64-bit result to the 32-bit one.
#include <cerrno>
#include <cstdint>
#include <cwchar>
#include <string>

#include "image/InsertAddress.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Characters that matter to the rule, and a few that must stop it.
    static const wchar_t kAlphabet[] = L" \t\n\v\f\r+-0123456789abcdefABCDEFxXgG.\u00e9\u4e00";
    constexpr std::size_t kLetters = sizeof kAlphabet / sizeof kAlphabet[0] - 1;
    std::wstring text;
    for (std::size_t i = 0; i < size && i < 64; ++i) text += kAlphabet[data[i] % kLetters];

    const std::uint32_t got = image::ParseInsertAddress(text);

    errno = 0;
    const unsigned long lib = std::wcstoul(text.c_str(), nullptr, 16);
    const bool range = errno == ERANGE;
    std::uint32_t want;
    if constexpr (sizeof(unsigned long) == 4) {
        want = static_cast<std::uint32_t>(lib);
    } else {
        // Sign as wcstoul saw it: after leading white space.
        std::size_t i = 0;
        while (i < text.size() && std::wcschr(L" \t\n\v\f\r", text[i]) && text[i]) ++i;
        const bool negative = i < text.size() && text[i] == L'-';
        const unsigned long magnitude = negative ? 0ul - lib : lib;
        if (range || magnitude > 0xFFFFFFFFul) {
            want = 0xFFFFFFFFu;
        } else {
            want = static_cast<std::uint32_t>(lib);
        }
    }
    FUZZ_CHECK(got == want);
    FUZZ_CHECK(image::InsertOffsetOnOk(false, text) == 0);
    return 0;
}
