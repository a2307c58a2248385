// The window's side of project files that needs no window: what each code
// buffer was loaded from since it was last emptied (what "Save project
// as..." describes), the title with a project open, and the settings of the
// console's runs that the window keeps when it saves a project it opened.
#pragma once

#include "image/Checksum.h"
#include "isp/IspRecords.h"
#include "project/Project.h"

#include <cstdint>
#include <string>
#include <vector>

namespace setup {

// One file loaded into a buffer, with the insert-area answer it was loaded
// with.
struct LoadedFile {
    std::wstring path;  // full path
    std::uint32_t address = 0;
    bool clearFirst = false;
};

// The files a code buffer was loaded from since it was last emptied, in
// order, and whether anything but a file changed it since.
struct BufferHistory {
    std::vector<LoadedFile> files;
    bool editedByHand = false;
    bool readBack = false;  // the bytes Dump Info read

    // A part change emptied the buffer.
    void Clear() { *this = BufferHistory{}; }
    // A user load passed. merged: it was laid over the buffer's content
    // (image::PlanLoad); otherwise the buffer started again from this file.
    void Loaded(const LoadedFile& file, bool merged);
    // Auto reload laid the path again at address over the buffer. Reading
    // the last file again where it was loaded adds nothing to the list.
    void Reloaded(const std::wstring& path, std::uint32_t address);
    // Dump Info replaced the bytes.
    void ReadBack() {
        Clear();
        readBack = true;
    }
};

// The window's title with a project open: "<title> - <name> [1A2B3C4D]",
// the Flash image's CRC-32 in eight hexadecimal digits.
std::wstring ProjectTitle(const std::wstring& title, const std::wstring& name, std::uint32_t flashCrc);

// Copies what the window does not show but the console runs with (serial
// numbers, checksum steps, ports, run log, note) from a project opened in `fromFolder` to
// one saved in `toFolder`. A value list the project reads is stored again
// for the new folder; the files the tool writes (the serial journal, the
// log) stay inside the project's folder, wherever that now is.
void KeepRunSettings(const project::Project& from, const std::wstring& fromFolder, const std::wstring& toFolder,
                     project::Project& to);

// The Flash image a run of Update Target or Repeat Update programs for a
// project with checksum steps: a copy of the buffer with the steps run over
// it (the buffer, and the 16-bit sum its Checksum box shows, stay as they
// are), and the text the run's log line shows,
// "crc32 0000-7FFB @7FFC = 1A2B3C4D". False with why (in English, naming
// the step) when a step cannot run on a Flash of `capacity` bytes.
bool ImageToProgram(const std::vector<std::uint8_t>& buffer, std::uint32_t capacity,
                    const std::vector<image::ChecksumStep>& steps, std::vector<std::uint8_t>* programmed,
                    std::wstring* logText);

}  // namespace setup
