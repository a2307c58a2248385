// A project file (.tarvel): the whole set-up of a production run in one
// readable, diffable JSON text with a format version. An engineer saves it
// once; an operator or a script only runs it, in the window and in the
// console alike. Window-free: reading checks every field and names the first
// that is wrong; whether the part exists and whether the files still hold
// what they held is for the callers, who have the library and the disk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/Checksum.h"

namespace project {

constexpr int kFormatVersion = 1;
// The extension Explorer and the file dialogs know a project by.
constexpr const wchar_t* kExtension = L".tarvel";

// One firmware file, in load order.
struct ProjectFile {
    std::wstring path;          // as stored (project/ProjectPaths.h)
    std::uint32_t address = 0;  // the IAP address; 0 loads it as "AP (Code)"
    bool clearFirst = false;    // starts from an empty buffer instead of merging
    std::uint64_t size = 0;     // what the file held when the project was saved
    std::uint32_t crc32 = 0;
};

// A composed image as the project was saved with it.
struct ImageCheck {
    std::uint64_t size = 0;
    std::uint32_t crc32 = 0;
};

struct SerialSettings {
    bool enabled = false;
    std::uint32_t address = 0;  // the field, inside the part's Flash
    unsigned width = 4;         // bytes, 1 to 8
    bool bigEndian = false;
    std::uint64_t start = 1, step = 1;
    std::wstring listFile;   // stored path of a value list, empty for a sequence
    std::wstring stateFile;  // stored path of the journal, empty for none (a file the tool writes)
    // The shared database the numbers come from: an ODBC connection string
    // without a password (the station supplies it), and the series; both
    // empty for numbers of this station alone.
    std::wstring database, series;
};

// Whether an ODBC connection string carries a password (Pwd= or Password=).
bool HoldsPassword(const std::wstring& connection);

// A locked project: the password as a salted PBKDF2-HMAC-SHA256 hash, never
// the password itself.
struct Lock {
    bool locked = false;
    std::uint32_t iterations = 0;
    std::vector<std::uint8_t> salt;  // 16 to 64 bytes
    std::vector<std::uint8_t> hash;  // 32 bytes
};

struct Project {
    std::wstring name;  // by default the file's name without its extension
    std::wstring note;
    std::wstring part;
    std::wstring baud = L"Auto";       // as the Baudrate list shows it
    std::wstring checkRate = L"9600";  // as the Checkrate list shows it
    std::uint8_t optionBits = 0;
    bool eraseBySize = false;
    bool rstnColdReset = false;
    std::vector<ProjectFile> flash, eeprom;
    ImageCheck flashImage, eepromImage;
    SerialSettings serial;
    // Checksum steps run over the Flash image as it is programmed (after a
    // board's serial number), in order; kept as their texts
    // ("crc32:0000-7FFB@7FFC:little"). A file without the field has none.
    std::vector<image::ChecksumStep> checksums;
    std::vector<std::wstring> ports;  // a gang's COM ports ("COM3"); empty for none
    std::wstring log;                 // stored path of a CSV run log, empty for none (a file the tool writes)
    Lock lock;
};

struct ReadResult {
    bool ok = false;
    std::string error;  // the first problem, naming its field ("flash[1].crc32: ...")
    Project project;
};

// A project file's text is never larger than this.
constexpr std::size_t kMaxProjectBytes = 1u << 20;

// Reads a project file's text (UTF-8, a byte-order mark allowed).
ReadResult ReadProject(std::string_view text);

// The text of a project file: keys in a fixed order, two-space indent, one
// line break at the end, so that two versions diff line by line.
std::string WriteProject(const Project& project);

// Whether a file's first bytes read as a project file (a JSON object naming
// the project format), as firmware files are told by their content.
bool LooksLikeProject(std::string_view head);

}  // namespace project
