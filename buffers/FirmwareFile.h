// Firmware files on Windows: the opener that the window's loader and the
// console programmer read through (image/FileLoad.h), and the whole-file write
// that never leaves a file half written.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "image/FileLoad.h"

class WinFileOpener : public image::FileOpener {
public:
    // Read access, no sharing, existing files only.
    std::unique_ptr<image::FileSource> Open(std::wstring_view path, std::uint32_t& error) override;
};

// Writes bytes as the whole new content of path: into a temporary file in the
// same folder, flushed to the disk, then moved over path in one step. On any
// failure the old file is left as it was and the temporary file is removed.
// ERROR_SUCCESS or the system's error code.
DWORD WriteFileReplacing(const std::wstring& path, const void* bytes, std::size_t length);
