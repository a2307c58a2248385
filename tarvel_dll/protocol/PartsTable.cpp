#include "tarvel_dll/protocol/PartsTable.h"

namespace tarvel {
namespace {

using isp::BodyInfo;
using isp::OptionCaptionPair;

// clang-format off
// Option captions. Parts share the leading bits of these rows: bit n of the
// option register has the same meaning on every part that has it.
#define TV_OPT_RSTN {L"Reset pin as GPIO", L"复位脚作为GPIO"}
#define TV_OPT_LVR {L"Low voltage reset", L"低电压复位"}
#define TV_OPT_WDT {L"Watchdog enable", L"看门狗使能"}
#define TV_OPT_LOCK {L"Code protect", L"代码保护"}
#define TV_OPT_BOD {L"Brown-out at 2.7V", L"2.7V掉电检测"}
#define TV_OPT_XTAL {L"External crystal", L"外部晶振"}
#define TV_OPT_IAPL {L"IAP area lock", L"IAP区锁定"}
#define TV_OPT_FWAKE {L"Fast wake-up", L"快速唤醒"}
#define TV_OPT_NONE {L"", L""}

#define TV_CAPS0 {TV_OPT_NONE, TV_OPT_NONE, TV_OPT_NONE, TV_OPT_NONE, TV_OPT_NONE, TV_OPT_NONE, TV_OPT_NONE, TV_OPT_NONE}
#define TV_CAPS3 {TV_OPT_RSTN, TV_OPT_LVR, TV_OPT_WDT, TV_OPT_NONE, TV_OPT_NONE, TV_OPT_NONE, TV_OPT_NONE, TV_OPT_NONE}
#define TV_CAPS4 {TV_OPT_RSTN, TV_OPT_LVR, TV_OPT_WDT, TV_OPT_LOCK, TV_OPT_NONE, TV_OPT_NONE, TV_OPT_NONE, TV_OPT_NONE}
#define TV_CAPS8 {TV_OPT_RSTN, TV_OPT_LVR, TV_OPT_WDT, TV_OPT_LOCK, TV_OPT_BOD, TV_OPT_XTAL, TV_OPT_IAPL, TV_OPT_FWAKE}

constexpr std::uint32_t Bit(int i) { return 1u << i; }
constexpr std::uint32_t KiB(std::uint32_t n) { return n * 1024u; }

// Family bits: 0 KV, 1 T40, 2 T30, 3 T20, 4 T10, 5..9 T10 A1..A5,
// 10 T10 B2, 11 T10 B4, 12 T10 B9, 13 HX. The first record deliberately is
// not in the lowest family of the table.
// clang-format off
#define TV_REGULAR_PARTS                                                                              \
    {L"T40F1M",    Bit(1),           0, KiB(1024), 0,       0x00000000, 10, TV_CAPS8},                 \
    {L"T40F512",   Bit(1),           0, KiB(512),  KiB(4),  0x00080000, 8,  TV_CAPS8},                 \
    {L"TV8051A16", Bit(0),           1, KiB(16),   512,     0x00003E00, 4,  TV_CAPS4},                 \
    {L"TV8051A32", Bit(0),           2, KiB(32),   KiB(1),  0x00007C00, 4,  TV_CAPS4},                 \
    {L"TV8052B64", Bit(0),           0, KiB(64),   0,       0x0000F000, 3,  TV_CAPS3},                 \
    {L"T30C64",    Bit(2),           0, KiB(64),   KiB(2),  0x0000F800, 8,  TV_CAPS8},                 \
    {L"T30C128",   Bit(2),           0, KiB(128),  0,       0x0001F000, 3,  TV_CAPS3},                 \
    {L"T20G8",     Bit(3),           0, KiB(8),    256,     0x00001F00, 3,  TV_CAPS3},                 \
    {L"T10N4",     Bit(4),           0, KiB(4),    0,       0x00000F00, 0,  TV_CAPS0},                 \
    {L"T10A1K8",   Bit(5),           0, KiB(8),    128,     0x00002000, 3,  TV_CAPS3},                 \
    {L"T10A2K16",  Bit(6),           2, KiB(16),   0,       0x00003C00, 4,  TV_CAPS4},                 \
    {L"T10B2M16",  Bit(10),          0, KiB(16),   KiB(1),  0x00004000, 4,  TV_CAPS4},                 \
    {L"T10B4M32",  Bit(11),          1, KiB(32),   KiB(1),  0x00008000, 8,  TV_CAPS8},                 \
    {L"HX2560",    Bit(13),          1, KiB(256),  KiB(4),  0x0003F000, 8,  TV_CAPS8},                 \
    {L"HX1280D",   Bit(12) | Bit(13), 0, KiB(128), KiB(2),  0x0001F800, 4,  TV_CAPS4},

#define TV_REGULAR_TRAITS                                                                             \
    {0x40F10001u, 1024, 115200}, {0x40F05121u, 512, 115200}, {0x8051A016u, 128, 115200},               \
    {0x8051A032u, 128, 115200}, {0x8052B064u, 256, 57600},  {0x30C00064u, 256, 115200},                \
    {0x30C00128u, 512, 115200}, {0x20008008u, 64, 38400},   {0x10004004u, 64, 19200},                  \
    {0x10A10008u, 64, 57600},   {0x10A20016u, 128, 115200}, {0x10B20016u, 128, 115200},                \
    {0x10B40032u, 128, 115200}, {0x48025600u, 512, 115200}, {0x48012800u, 256, 115200},
// clang-format on

const BodyInfo kRegular[] = {TV_REGULAR_PARTS};
const PartTraits kRegularTraits[] = {TV_REGULAR_TRAITS};

// Parts in family bits that have no name in the tool: it must list them under
// no family and must not index past its name table.
const BodyInfo kHighBits[] = {
    TV_REGULAR_PARTS{L"TX15Z32", Bit(15), 0, KiB(32), 0, 0x00007000, 3, TV_CAPS3},
    {L"TX20Z64", Bit(20), 0, KiB(64), KiB(1), 0x0000F000, 4, TV_CAPS4},
};
const PartTraits kHighBitsTraits[] = {
    TV_REGULAR_TRAITS{0x15003200u, 128, 115200},
    {0x20006400u, 256, 115200},
};
// clang-format on

static_assert(sizeof(kRegular) / sizeof(kRegular[0]) == sizeof(kRegularTraits) / sizeof(kRegularTraits[0]),
              "one traits row per part");
static_assert(sizeof(kHighBits) / sizeof(kHighBits[0]) == sizeof(kHighBitsTraits) / sizeof(kHighBitsTraits[0]),
              "one traits row per part");

template <std::size_t N>
constexpr std::uint32_t CountOf(const BodyInfo (&)[N]) {
    return static_cast<std::uint32_t>(N);
}

}  // namespace

PartsView Parts(TableVariant variant) {
    switch (variant) {
    case TableVariant::Empty:
        // A caller that ignores the count still gets a readable record.
        return {kRegular, kRegularTraits, 0};
    case TableVariant::HighBits: return {kHighBits, kHighBitsTraits, CountOf(kHighBits)};
    case TableVariant::Normal: break;
    }
    return {kRegular, kRegularTraits, CountOf(kRegular)};
}

int FindPart(PartsView parts, const char* name) {
    if (name == nullptr) return -1;
    for (std::uint32_t i = 0; i < parts.Count; ++i) {
        const wchar_t* w = parts.Body[i].PartName;
        const char* n = name;
        while (*w != 0 && *n != 0 && static_cast<wchar_t>(static_cast<unsigned char>(*n)) == *w) {
            ++w;
            ++n;
        }
        if (*w == 0 && *n == 0) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace tarvel
