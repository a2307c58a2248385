// Save As for a code buffer: the save dialog, the file's format by the chosen
// filter or the name's extension, the whole buffer written from address 0 so
// that it loads back byte for byte, and one numbered log line.
#pragma once

#include "hexedit/HexEditBase.h"
#include "image/FileFormat.h"
#include "log/MessageLog.h"

#include <windows.h>

#include <string>
#include <string_view>

class Saver {
public:
    explicit Saver(MessageLog& log) : m_log(log) {}
    // The window that owns the save dialog.
    void SetOwner(HWND owner) { m_owner = owner; }

    // Asks for a file, starting in lastFolder (which becomes the chosen
    // file's folder), and writes the editor's buffer to it. A cancelled
    // dialog logs nothing. True when the file was written. The dialog's file
    // types are named in the window's language.
    bool SaveBufferAs(CHexEditBase& editor, std::wstring& lastFolder, int language);

    // The file's format: the name's extension when it names one of the
    // formats (.hex/.ihx, .s19/.s28/.s37/.srec/.mot, .bin), otherwise the
    // dialog's filter (1 Intel HEX, 2 S-record, others binary). A name
    // without any extension gets the filter's own.
    static image::FileFormat FormatFor(std::wstring& path, DWORD filterIndex);

    // Writes the bytes in the format through a temporary file. False when
    // the file could not be written; the old file is then as it was.
    static bool WriteBuffer(const std::wstring& path, image::FileFormat format, const std::uint8_t* bytes,
                            std::size_t length);

private:
    HWND m_owner = nullptr;
    MessageLog& m_log;
};
