// The contract with the ISP library Tarvel_DLL: the records exchanged with
// it, its result and status codes, and its six operations. This header is
// the only place they are declared; the tool and our stand-in library both
// compile against it. It needs no windows.h.
//
// The layout is the library's 32-bit binary interface: pointers and handles
// are 4 bytes, little-endian. The offsets are checked below for that build.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// The six operations are plain C functions with the C calling convention and
// undecorated names. This is the one place that spells the convention.
#if defined(_WIN32) && !defined(_WIN64)
#define TARVEL_CALL __cdecl
#else
#define TARVEL_CALL
#endif

namespace isp {

// Result codes of the library (16-bit, 101 is success).
enum Result : std::uint16_t {
    kPass = 101,
    kComOpenError = 102,
    kStop = 103,
    kNotFindDevice = 104,
    kCustomerIdError = 105,
    kDeviceIdError = 106,
    kBaudRateTooLarge = 107,
    kSetSyncError = 108,
    kWriteOrError = 109,
    kEraseError = 110,
    kRegisterError = 111,
    kProgramError = 112,
    kDumpFail = 113,
};

// Bits of IspParam::SetupFlags, the window's two setup check boxes.
constexpr std::uint8_t kSetupEraseByFileSize = 0x01;  // erase only as far as the image reaches
constexpr std::uint8_t kSetupRstnColdReset = 0x02;    // restart the target through its RSTN pin

// Status word values besides the progress 0..100.
constexpr std::uint16_t kStatusWaitingForTarget = 0xFFFF;

enum PortType : std::int32_t {
    kPortCom = 0,    // a COM port opened by the tool, handle in PortHandle
    kPortKV705 = 1,  // adapter, reached by the library itself
    kPortKV707 = 2,  // adapter, reached by the library itself
};

// The status word and the stop request are polled across threads without a
// lock; std::atomic of these widths is lock-free and has the plain integer's
// representation, so a library that writes a plain uint16/int32 sees the same
// memory.
using StatusWord = std::atomic<std::uint16_t>;
using StopRequest = std::atomic<std::int32_t>;
static_assert(sizeof(StatusWord) == 2 && StatusWord::is_always_lock_free, "status word layout");
static_assert(sizeof(StopRequest) == 4 && StopRequest::is_always_lock_free, "stop request layout");

struct IspParam {
    std::int32_t PortType;    // 0 COM, 1 KV705, 2 KV707
    void* PortHandle;         // HANDLE of the opened COM port (type 0)
    std::int32_t CheckRate;   // handshake rate
    std::int32_t BaudRate;    // download rate, 0 = "Auto"
    std::int32_t PartIndex;   // index into the BodyInfo table, -1 = none
    std::uint8_t OptionBits;  // bit n = option check box n
    std::uint8_t SetupFlags;  // kSetupEraseByFileSize | kSetupRstnColdReset
    std::uint8_t Reserved[2];
    std::uint8_t* CodeImage;  // Flash image, or the 256-byte DumpInfo buffer
    std::int32_t CodeSize;
    std::uint8_t* DataImage;  // EEPROM image
    std::int32_t DataSize;
    StatusWord* StatusCell;  // 0xFFFF waiting, 0..100 progress, 102 COM error
    StopRequest* StopCell;   // 1 = stop requested
};

struct OptionCaptionPair {
    const wchar_t* English;
    const wchar_t* Chinese;
};

struct BodyInfo {
    const wchar_t* PartName;
    std::uint32_t FamilyMask;    // bit i = family i
    std::int32_t PartClass;      // 1 or 2: fixed 115200 link, Dump Info offered
    std::uint32_t CodeCapacity;  // Flash bytes
    std::uint32_t DataCapacity;  // EEPROM bytes, 0 = none
    std::uint32_t DataAddress;   // default IAP data address
    std::uint32_t OptionCount;   // option bits used (at most 8 are shown)
    OptionCaptionPair OptionCaption[8];
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(void*) == 4, "32-bit interface");
static_assert(sizeof(wchar_t) == 2, "UTF-16 texts");
static_assert(sizeof(IspParam) == 48, "IspParam is 48 bytes");
static_assert(offsetof(IspParam, PortType) == 0);
static_assert(offsetof(IspParam, PortHandle) == 4);
static_assert(offsetof(IspParam, CheckRate) == 8);
static_assert(offsetof(IspParam, BaudRate) == 12);
static_assert(offsetof(IspParam, PartIndex) == 16);
static_assert(offsetof(IspParam, OptionBits) == 20);
static_assert(offsetof(IspParam, SetupFlags) == 21);
static_assert(offsetof(IspParam, Reserved) == 22);
static_assert(offsetof(IspParam, CodeImage) == 24);
static_assert(offsetof(IspParam, CodeSize) == 28);
static_assert(offsetof(IspParam, DataImage) == 32);
static_assert(offsetof(IspParam, DataSize) == 36);
static_assert(offsetof(IspParam, StatusCell) == 40);
static_assert(offsetof(IspParam, StopCell) == 44);

static_assert(sizeof(BodyInfo) == 92, "BodyInfo is 92 bytes");
static_assert(offsetof(BodyInfo, PartName) == 0);
static_assert(offsetof(BodyInfo, FamilyMask) == 4);
static_assert(offsetof(BodyInfo, PartClass) == 8);
static_assert(offsetof(BodyInfo, CodeCapacity) == 12);
static_assert(offsetof(BodyInfo, DataCapacity) == 16);
static_assert(offsetof(BodyInfo, DataAddress) == 20);
static_assert(offsetof(BodyInfo, OptionCount) == 24);
static_assert(offsetof(BodyInfo, OptionCaption) == 28);
static_assert(offsetof(BodyInfo, OptionCaption[7].Chinese) == 88);
#endif

}  // namespace isp

// The six exports of Tarvel_DLL.dll, declared here once: the stand-in
// library defines them against these declarations (so a definition that
// drifts from them does not compile), and the tool binds them by name at run
// time (isp/LibraryBinding.h) through pointer types taken from the same
// declarations. A library build defines TARVEL_DLL_EXPORTS.
#if defined(TARVEL_DLL_EXPORTS)
#define TARVEL_API __declspec(dllexport)
#else
#define TARVEL_API
#endif

extern "C" {
// The parts table; the count of its records (0: none). The table stays valid
// while the library is loaded.
TARVEL_API std::uint32_t TARVEL_CALL GetBodyInfo(isp::BodyInfo** table);
// Version (A.B.C.D, A in the top byte) and edition (0 universal, 1 China).
TARVEL_API std::uint16_t TARVEL_CALL GetDLLInfo(std::uint32_t* version, std::int32_t* edition);
// The link and the two jobs; each answers a result code.
TARVEL_API std::uint16_t TARVEL_CALL OpenPort(isp::IspParam* param);
TARVEL_API std::uint16_t TARVEL_CALL ClosePort(isp::IspParam* param);
TARVEL_API std::uint16_t TARVEL_CALL UpdateMCU(isp::IspParam* param);
TARVEL_API std::uint16_t TARVEL_CALL DumpInfo(isp::IspParam* param);
}

using GetBodyInfoFn = decltype(&GetBodyInfo);
using GetDLLInfoFn = decltype(&GetDLLInfo);
// OpenPort, ClosePort, UpdateMCU and DumpInfo share one type.
using IspOperationFn = decltype(&OpenPort);
static_assert(std::is_same_v<IspOperationFn, decltype(&ClosePort)> &&
                  std::is_same_v<IspOperationFn, decltype(&UpdateMCU)> &&
                  std::is_same_v<IspOperationFn, decltype(&DumpInfo)>,
              "the four operations on a record share one signature");
