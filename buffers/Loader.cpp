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
    const std::wstring filter = FilterText({{texts::kFilterHexBinary, L"*.hex;*.bin"},
                                            {texts::kFilterSRecord, L"*.s19;*.s28;*.s37;*.srec;*.mot"},
                                            {texts::kFilterElf, L"*.elf;*.axf;*.out"},
                                            {texts::kFilterAllFiles, L"*.*"}},
                                           language);
    const std::optional<ChosenFile> chosen = AskForFile(m_owner, FileDialogKind::Open, filter.c_str(), lastFolder);
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
    CHexEditBase& editor = target.page.HexEdit;
    std::vector<std::uint8_t> current;
    const image::LoadPlan plan = image::PlanLoad(target.slot.LoadState, reloading, insert.ClearFirst != 0);
    image::FileLoadOutcome outcome;
    try {
        if (plan.merge) {
            current.resize(editor.GetBufferLength());
            editor.CopyBuffer(current.data(), static_cast<DWORD>(current.size()));
        }
    } catch (const std::bad_alloc&) {
        return texts::kFileTooLarge;
    }
    const int result = ComposeOne(path, target.capacity, insert, reloading, m_longPaths, target.slot, current, outcome);
    if (result != texts::kPass) return result;
    return ShowContent(target, outcome.content, outcome.slot, outcome.pathText, current) ? texts::kPass
                                                                                         : texts::kFileTooLarge;
}

int Loader::ComposeOne(const std::wstring& path, std::uint32_t capacity, const image::InsertSettings& insert,
                       bool reloading, bool longPaths, const image::BufferSlot& slot,
                       const std::vector<std::uint8_t>& current, image::FileLoadOutcome& outcome) {
    image::FileLoadRequest request;
    request.path = path;
    request.capacity = capacity;
    request.insert = insert;
    request.slot = slot;
    request.reloading = reloading;
    if (image::PlanLoad(slot.LoadState, reloading, insert.ClearFirst != 0).merge) {
        request.current = current.data();
        request.currentLength = current.size();
    }
    try {
        WinFileOpener opener(longPaths);
        outcome = image::LoadFileForBuffer(opener, request);
    } catch (const std::bad_alloc&) {
        return texts::kFileTooLarge;
    }
    return outcome.status == image::FileLoadStatus::Ok ? texts::kPass : LoadResultText(outcome.status);
}

bool Loader::ShowContent(const LoadTarget& target, const std::vector<std::uint8_t>& content,
                         const image::BufferSlot& slot, const std::wstring& pathText,
                         const std::vector<std::uint8_t>& restore) {
    CHexEditBase& editor = target.page.HexEdit;
    const DWORD length = static_cast<DWORD>(content.size());
    if (!editor.SetBuffer(content.empty() ? reinterpret_cast<const BYTE*>("") : content.data(), length)) {
        // The control could not take the copy and is empty now: put back
        // what it held, so a failed load loses nothing.
        editor.SetBuffer(restore.empty() ? nullptr : restore.data(), static_cast<DWORD>(restore.size()));
        return false;
    }
    target.slot = slot;
    const std::uint16_t sum = image::ByteSum16(content.data(), content.size());
    target.page.SetBoxes(pathText.c_str(), image::SizeText(length).c_str(), image::ChecksumText(sum).c_str());
    return true;
}

ComposedBuffer Loader::Compose(const std::vector<PlannedLoad>& files, std::uint32_t capacity) {
    ComposedBuffer composed;
    for (const PlannedLoad& file : files) {
        image::FileLoadOutcome outcome;
        composed.result =
            ComposeOne(file.path, capacity, file.insert, false, true, composed.slot, composed.content, outcome);
        if (composed.result != texts::kPass) {
            composed.failedPath = file.path;
            return composed;
        }
        composed.content.swap(outcome.content);
        composed.slot = outcome.slot;
        composed.pathText = std::move(outcome.pathText);
    }
    return composed;
}

bool Loader::Show(const LoadTarget& target, const ComposedBuffer& composed) {
    return ShowContent(target, composed.content, composed.slot, composed.pathText, {});
}
