#include "buffers/Saver.h"

#include "buffers/FileDialog.h"
#include "files/FirmwareFile.h"
#include "image/LoadState.h"
#include "text/UiText.h"

#include <new>
#include <vector>

image::FileFormat Saver::FormatFor(std::wstring& path, DWORD filterIndex) {
    const std::wstring ext = image::UpperExtension(path);
    const image::FileFormat byName = image::OutputFormatFor(path);
    if (byName != image::FileFormat::Binary || ext == L"BIN") return byName;
    const image::FileFormat byFilter = filterIndex == 1   ? image::FileFormat::IntelHex
                                       : filterIndex == 2 ? image::FileFormat::SRecord
                                                          : image::FileFormat::Binary;
    if (ext.empty() && filterIndex >= 1 && filterIndex <= 3)
        path += byFilter == image::FileFormat::IntelHex  ? L".hex"
                : byFilter == image::FileFormat::SRecord ? L".s19"
                                                         : L".bin";
    return byFilter;
}

bool Saver::WriteBuffer(const std::wstring& path, image::FileFormat format, const std::uint8_t* bytes,
                        std::size_t length) {
    return WriteImageFile(path, format, bytes, length) == ERROR_SUCCESS;
}

bool Saver::SaveBufferAs(CHexEditBase& editor, std::wstring& lastFolder, int language) {
    const std::wstring filter = FilterText({{texts::kFilterIntelHex, L"*.hex;*.ihx"},
                                            {texts::kFilterSRecord, L"*.s19;*.s28;*.s37;*.srec;*.mot"},
                                            {texts::kFilterBinary, L"*.bin"},
                                            {texts::kFilterAllFiles, L"*.*"}},
                                           language);
    const std::optional<ChosenFile> chosen = AskForFile(m_owner, FileDialogKind::Save, filter.c_str(), lastFolder);
    if (!chosen) return false;
    std::wstring path = chosen->path;
    lastFolder = FolderOf(path);

    const std::uint32_t start = ::GetTickCount();
    m_log.LogHeading(texts::kSaveFile);
    const image::FileFormat format = FormatFor(path, chosen->filterIndex);
    bool saved = false;
    try {
        std::vector<std::uint8_t> bytes(editor.GetBufferLength());
        editor.CopyBuffer(bytes.data(), static_cast<DWORD>(bytes.size()));
        saved = WriteBuffer(path, format, bytes.data(), bytes.size());
    } catch (const std::bad_alloc&) {
        saved = false;
    }
    m_log.LogResult(saved ? texts::kPass : texts::kSaveFileError, start);
    return saved;
}
