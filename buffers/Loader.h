// Loading a firmware file into the Flash or EEPROM buffer: the open-file
// dialog, the insert-area question (Flash only), reading and composing the
// image with the image core, the page's boxes, and one numbered log line. A
// reload ("Auto Reload Code") reads the buffer's file again without asking.
#pragma once

#include "buffers/TabPage.h"
#include "image/FileLoad.h"
#include "image/LoadState.h"
#include "log/MessageLog.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The buffer a load goes to.
struct LoadTarget {
    CBufferTabPage& page;
    image::BufferSlot& slot;
    std::uint32_t capacity;  // CodeCapacity or DataCapacity of the part
    bool asksInsertArea;     // the Flash buffer asks where the image goes
};

// One file of a prepared set-up (a project) with the answer the insert-area
// question would have had.
struct PlannedLoad {
    std::wstring path;  // full path
    image::InsertSettings insert;
};

// A buffer composed from files without being shown.
struct ComposedBuffer {
    int result = -1;          // text id: kPass, or the failed file's load result
    std::wstring failedPath;  // the file that failed
    std::vector<std::uint8_t> content;
    image::BufferSlot slot;
    std::wstring pathText;  // for the page's path box
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

    // Composes a buffer from files in order, as Load File would load them one
    // after another into an empty buffer (the same formats, merging and
    // Clear Buffer), without a question, a log line or a change on the
    // screen; a file that fails ends the composition.
    static ComposedBuffer Compose(const std::vector<PlannedLoad>& files, std::uint32_t capacity);
    // Shows a composed buffer on its page as a load does. False when the
    // control could not take the bytes (it is empty then).
    static bool Show(const LoadTarget& target, const ComposedBuffer& composed);

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
    // Reads and composes one file over a buffer of `current` bytes and its
    // slot; on kPass, outcome holds the buffer after the load.
    static int ComposeOne(const std::wstring& path, std::uint32_t capacity, const image::InsertSettings& insert,
                          bool reloading, bool longPaths, const image::BufferSlot& slot,
                          const std::vector<std::uint8_t>& current, image::FileLoadOutcome& outcome);
    // Puts content into the page's editor, the slot and the page's boxes.
    // restore: what the editor shows again when it cannot take content.
    static bool ShowContent(const LoadTarget& target, const std::vector<std::uint8_t>& content,
                            const image::BufferSlot& slot, const std::wstring& pathText,
                            const std::vector<std::uint8_t>& restore);

    HWND m_owner = nullptr;
    MessageLog& m_log;
    bool m_busy = false;
    // A path from the file dialog opens as the classic file calls open it
    // (one of MAX_PATH characters or more gives "Open file error"); dropped
    // files and files named on the command line open in the long form.
    bool m_longPaths = true;
};
