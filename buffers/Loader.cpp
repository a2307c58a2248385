#include "buffers/Loader.h"

#include "buffers/FileDialog.h"
#include "buffers/LoadResultText.h"
#include "buffers/SelectAreaDlg.h"
#include "files/FirmwareFile.h"
#include "image/ByteSum.h"
#include "image/FileLoad.h"
#include "text/UiText.h"

#include <new>
#include <vector>

namespace {

// Clears a flag when the scope ends, whatever path it ends by.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyScope() { m_flag = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_flag;
};

}  // namespace

bool Loader::LoadChosenFile(const LoadTarget& target, image::InsertSettings& insert, std::wstring& lastFolder,
                            int language, std::uint32_t dataAddress) {
    BusyScope busy(m_busy);
    const std::optional<ChosenFile> chosen =
        AskForFile(m_owner, FileDialogKind::Open,
                   L"Intel Hex/Binary (*.hex; *.bin)\0*.hex;*.bin\0"
                   L"Motorola S-record (*.s19; *.s28; *.s37; *.srec; *.mot)\0*.s19;*.s28;*.s37;*.srec;*.mot\0"
                   L"ELF (*.elf; *.axf; *.out)\0*.elf;*.axf;*.out\0"
                   L"All Files (*.*)\0*.*\0",
                   lastFolder);
    if (!chosen) return false;
    m_longPaths = false;
    const bool loaded = LoadAsChosen(target, insert, chosen->path, lastFolder, language, dataAddress);
    m_longPaths = true;
    return loaded;
}

bool Loader::LoadGivenFile(const LoadTarget& target, image::InsertSettings& insert, const std::wstring& path,
                           std::wstring& lastFolder, int language, std::uint32_t dataAddress) {
    BusyScope busy(m_busy);
    return LoadAsChosen(target, insert, path, lastFolder, language, dataAddress);
}

bool Loader::LoadAsChosen(const LoadTarget& target, image::InsertSettings& insert, const std::wstring& path,
                          std::wstring& lastFolder, int language, std::uint32_t dataAddress) {
    lastFolder = FolderOf(path);

    const std::uint32_t start = ::GetTickCount();
    m_log.LogHeading(texts::kLoadFile);

    image::InsertSettings chosen = insert;
    if (target.asksInsertArea) {
        CSelectAreaDlg area(m_owner, language, dataAddress);
        if (area.DoModal() != IDOK) {
            m_log.LogResult(texts::kCancel, start);
            return false;
        }
        chosen = area.Choice();
        insert = chosen;
    }
    const int result = LoadFile(target, path, chosen, false);
    m_log.LogResult(result, start);
    return result == texts::kPass;
}

bool Loader::Reload(const LoadTarget& target, const image::InsertSettings& insert) {
    BusyScope busy(m_busy);
    const std::uint32_t start = ::GetTickCount();
    m_log.LogHeading(texts::kAutoReloadCode);
    const int result = LoadFile(target, target.slot.FilePath, insert, true);
    m_log.LogResult(result, start);
    return result == texts::kPass;
}

int Loader::LoadFile(const LoadTarget& target, const std::wstring& path, const image::InsertSettings& insert,
                     bool reloading) {
    image::FileLoadRequest request;
    request.path = path;
    request.capacity = target.capacity;
    request.insert = insert;
    request.slot = target.slot;
    request.reloading = reloading;

    CHexEditBase& editor = target.page.HexEdit;
    std::vector<std::uint8_t> current;
    const image::LoadPlan plan = image::PlanLoad(target.slot.LoadState, reloading, insert.ClearFirst != 0);
    image::FileLoadOutcome outcome;
    try {
        if (plan.merge) {
            current.resize(editor.GetBufferLength());
            editor.CopyBuffer(current.data(), static_cast<DWORD>(current.size()));
            request.current = current.data();
            request.currentLength = current.size();
        }
        WinFileOpener opener(m_longPaths);
        outcome = image::LoadFileForBuffer(opener, request);
    } catch (const std::bad_alloc&) {
        return texts::kFileTooLarge;
    }
    if (outcome.status != image::FileLoadStatus::Ok) return LoadResultText(outcome.status);

    const DWORD length = static_cast<DWORD>(outcome.content.size());
    if (!editor.SetBuffer(outcome.content.empty() ? reinterpret_cast<const BYTE*>("") : outcome.content.data(),
                          length)) {
        // The control could not take the copy and is empty now: put back
        // what it held, so a failed load loses nothing.
        editor.SetBuffer(current.empty() ? nullptr : current.data(), static_cast<DWORD>(current.size()));
        return texts::kFileTooLarge;
    }
    target.slot = outcome.slot;
    const std::uint16_t sum = image::ByteSum16(outcome.content.data(), outcome.content.size());
    target.page.SetBoxes(outcome.pathText.c_str(), image::SizeText(length).c_str(), image::ChecksumText(sum).c_str());
    return texts::kPass;
}
