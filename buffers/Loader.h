// Loading a firmware file into the Flash or EEPROM buffer: the open-file
// dialog, the insert-area question (Flash only), reading and composing the
// image with the image core, the page's boxes, and one numbered log line. A
// reload ("Auto Reload Code") reads the buffer's file again without asking.
#pragma once

#include "buffers/TabPage.h"
#include "image/LoadState.h"
#include "log/MessageLog.h"

#include <windows.h>

#include <cstdint>
#include <string>

// The buffer a load goes to.
struct LoadTarget {
    CBufferTabPage& page;
    image::BufferSlot& slot;
    std::uint32_t capacity;  // CodeCapacity or DataCapacity of the part
    bool asksInsertArea;     // the Flash buffer asks where the image goes
};

class Loader {
public:
    explicit Loader(MessageLog& log) : m_log(log) {}
    // The window that owns the loader's dialogs.
    void SetOwner(HWND owner) { m_owner = owner; }

    // "Load File". lastFolder is where the file dialog starts and becomes
    // the chosen file's folder; insert takes the insert-area dialog's answer.
    // True when the buffer was replaced.
    bool LoadChosenFile(const LoadTarget& target, image::InsertSettings& insert, std::wstring& lastFolder, int language,
                        std::uint32_t dataAddress);
    // A file that reached the tool without the file dialog (dropped on the
    // window, named on the command line): everything "Load File" does once
    // the dialog has given it a full path.
    bool LoadGivenFile(const LoadTarget& target, image::InsertSettings& insert, const std::wstring& path,
                       std::wstring& lastFolder, int language, std::uint32_t dataAddress);
    // Reads the slot's file again and lays it over the buffer at the current
    // offset. True when the buffer was replaced.
    bool Reload(const LoadTarget& target, const image::InsertSettings& insert);

    // True while a load runs, including its modal dialogs (which activate the
    // owner window again when they close).
    bool Busy() const { return m_busy; }

private:
    // "Load File" from the moment a path is chosen: the folder, the log
    // line, the insert-area question and the load.
    bool LoadAsChosen(const LoadTarget& target, image::InsertSettings& insert, const std::wstring& path,
                      std::wstring& lastFolder, int language, std::uint32_t dataAddress);
    // The steps after the questions: read, compose, show. Returns the text
    // id of the result.
    int LoadFile(const LoadTarget& target, const std::wstring& path, const image::InsertSettings& insert,
                 bool reloading);

    HWND m_owner = nullptr;
    MessageLog& m_log;
    bool m_busy = false;
    // A path from the file dialog opens as the classic file calls open it
    // (one of MAX_PATH characters or more gives "Open file error"); dropped
    // files and files named on the command line open in the long form.
    bool m_longPaths = true;
};
