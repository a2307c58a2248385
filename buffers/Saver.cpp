#include "buffers/Saver.h"

#include "files/FirmwareFile.h"
#include "image/LoadState.h"
#include "framework/SystemLibrary.h"
#include "text/UiText.h"

#include <commdlg.h>

#include <new>
#include <vector>

namespace {

std::wstring FolderOf(const std::wstring& path) {
    const std::wstring::size_type slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace

image::FileFormat Saver::FormatFor(std::wstring& path, DWORD filterIndex) {
    const std::wstring ext = image::UpperExtension(path);
    const image::FileFormat byName = image::OutputFormatFor(path);
    if (byName != image::FileFormat::Binary || ext == L"BIN") return byName;
    const image::FileFormat byFilter = filterIndex == 1   ? image::FileFormat::IntelHex
                                       : filterIndex == 2 ? image::FileFormat::SRecord
                                                          : image::FileFormat::Binary;
    if (ext.empty() && filterIndex >= 1 && filterIndex <= 3)
        path += byFilter == image::FileFormat::IntelHex ? L".hex" : byFilter == image::FileFormat::SRecord ? L".s19" : L".bin";
    return byFilter;
}

bool Saver::WriteBuffer(const std::wstring& path, image::FileFormat format, const std::uint8_t* bytes,
                        std::size_t length) {
    return WriteImageFile(path, format, bytes, length) == ERROR_SUCCESS;
}

bool Saver::SaveBufferAs(CHexEditBase& editor, std::wstring& lastFolder) {
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_owner;
    ofn.lpstrFilter = L"Intel Hex (*.hex; *.ihx)\0*.hex;*.ihx\0"
                      L"Motorola S-record (*.s19; *.s28; *.s37; *.srec; *.mot)\0*.s19;*.s28;*.s37;*.srec;*.mot\0"
                      L"Binary (*.bin)\0*.bin\0"
                      L"All Files (*.*)\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = lastFolder.empty() ? nullptr : lastFolder.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    // The file dialogs' library is loaded when a dialog is first wanted.
    static const auto show = syslib::Bind<decltype(&::GetSaveFileNameW)>(L"comdlg32.dll", "GetSaveFileNameW");
    if (!show || !show(&ofn)) return false;
    std::wstring path(file.data());
    lastFolder = FolderOf(path);

    const std::uint32_t start = ::GetTickCount();
    m_log.LogHeading(texts::kSaveFile);
    const image::FileFormat format = FormatFor(path, ofn.nFilterIndex);
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
