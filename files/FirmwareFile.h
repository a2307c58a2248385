// Firmware files on Windows: the opener that the window's loader and the
// console programmer read through (image/FileLoad.h), and the whole-file write
// that never leaves a file half written.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "framework/Handles.h"
#include "image/FileFormat.h"
#include "image/FileLoad.h"

class WinFileOpener : public image::FileOpener {
public:
    // longPaths: a path past MAX_PATH opens in its long form; otherwise it is
    // opened as the classic file calls open it, and such a path fails.
    explicit WinFileOpener(bool longPaths = true) : m_longPaths(longPaths) {}
    // Read access, no sharing, existing files only.
    std::unique_ptr<image::FileSource> Open(std::wstring_view path, std::uint32_t& error) override;

private:
    bool m_longPaths;
};

// The new content of a file, written into a temporary file in the same folder
// and put in place only by Commit: flushed to the disk, then moved over the
// path in one step. Until then, and after any failure, the old file is as it
// was; the temporary file is removed unless it was committed. Each step gives
// ERROR_SUCCESS or the system's error code.
class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    DWORD Open(const std::wstring& path);
    DWORD Write(const void* bytes, std::size_t length);
    DWORD Commit();

private:
    std::wstring m_path;
    std::wstring m_temporary;
    UniqueHandle m_file;
    bool m_committed = false;
};

// Writes bytes as the whole new content of path through a ReplacingFile.
DWORD WriteFileReplacing(const std::wstring& path, const void* bytes, std::size_t length);

// Writes a buffer laid from address 0 as the whole new content of path, in
// the format given (image::EncodeImageInBlocks), piece by piece through a
// ReplacingFile, so that neither a failure nor a large buffer costs the old
// file or the whole text in memory.
DWORD WriteImageFile(const std::wstring& path, image::FileFormat format, const std::uint8_t* bytes, std::size_t length);
