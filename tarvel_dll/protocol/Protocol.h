// Commands of the programming protocol between the library (host) and the
// bootloader of the target. Every command is one frame (Frame.h); the target
// answers each with one frame of type (command | 0x80) and the same sequence
// number, whose payload begins with a status byte (kOk or an error below).
//
//  command          payload (host -> target)              reply data after the status
//  kCmdSync         u32 line rate the host is sending at   u8 protocol version
//  kCmdIdentify     -                                      u32 customer id, u32 device id,
//                                                          u32 serial, u32 max rate, u16 page size
//  kCmdSetRate      u32 new rate                           - (both switch after the reply)
//  kCmdErase        u8 area, u32 offset, u32 length        -
//  kCmdWriteOptions u8 option bits                         -
//  kCmdWriteConfig  u8 setup flags, u32 code size, u32 code CRC-32
//  kCmdProgram      u8 area, u32 offset, data              -
//  kCmdVerify       u8 area, u32 offset, u32 length        u32 CRC-32 of that range
//  kCmdReadInfo     -                                      256-byte information block
//  kCmdRun          -                                      - (the target leaves the bootloader)
//
// A command repeated with the sequence number of the previous one is not run
// again; the target repeats its last reply. The host therefore may resend a
// command whose reply was lost.
#pragma once

#include <cstdint>

namespace tarvel {

enum Command : std::uint8_t {
    kCmdSync = 0x01,
    kCmdIdentify = 0x02,
    kCmdSetRate = 0x03,
    kCmdErase = 0x04,
    kCmdWriteOptions = 0x05,
    kCmdWriteConfig = 0x06,
    kCmdProgram = 0x07,
    kCmdVerify = 0x08,
    kCmdReadInfo = 0x09,
    kCmdRun = 0x0A,
};
constexpr std::uint8_t kReplyBit = 0x80;

enum TargetStatus : std::uint8_t {
    kOk = 0,
    kErrCommand = 1,  // unknown command or malformed payload
    kErrRange = 2,    // address range outside the area
    kErrErase = 3,
    kErrProgram = 4,
    kErrOptions = 5,
    kErrConfig = 6,
    kErrRate = 7,        // rate not supported
    kErrSync = 8,        // sync refused (not locked on the line)
    kErrRead = 9,        // information block could not be read
    kErrNotSynced = 10,  // command before a sync
};

enum Area : std::uint8_t { kAreaFlash = 0, kAreaEeprom = 1 };

constexpr std::uint8_t kProtocolVersion = 1;

// Layout of the 256-byte information block (all numbers little-endian):
//   0   4  "TVIB"
//   4   1  layout version (1)
//   5   1  option bits in effect
//   6   1  setup register (bit 0 erase by size was used, bit 1 RSTN cold reset)
//   7   1  reserved (0)
//   8   4  customer id
//  12   4  device id
//  16   4  serial number
//  20   4  Flash size in bytes
//  24   4  EEPROM size in bytes
//  28   4  CRC-32 of the whole Flash
//  32   4  CRC-32 of the whole EEPROM (0 without EEPROM)
//  36   4  completed programming runs of this chip
//  40   4  code size recorded by the last configuration write
//  44   4  code CRC-32 recorded by the last configuration write
//  48  32  part name, ASCII, NUL-padded
//  80 172  reserved (0xFF)
// 252   4  CRC-32 of bytes 0 .. 251
constexpr std::uint32_t kInfoSize = 256;
namespace info {
constexpr unsigned kMagic = 0, kVersion = 4, kOptions = 5, kSetup = 6, kCustomer = 8, kDevice = 12, kSerial = 16,
                   kFlashSize = 20, kEepromSize = 24, kFlashCrc = 28, kEepromCrc = 32, kRuns = 36, kCodeSize = 40,
                   kCodeCrc = 44, kName = 48, kNameSize = 32, kReserved = 80, kCrc = 252;
}

}  // namespace tarvel
