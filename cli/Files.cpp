#include "cli/Files.h"

#include "cli/Text.h"
#include "files/FirmwareFile.h"
#include "framework/SystemText.h"
#include "image/FileFormat.h"
#include "run/UnitRecord.h"

namespace cli {

std::wstring SystemMessage(DWORD error) {
    // Said inside a sentence of ours: without the system's full stop.
    std::wstring text = SystemMessageLine(error);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'.')) text.pop_back();
    if (text.empty()) text = L"system error " + std::to_wstring(error);
    return text;
}

std::wstring WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    const DWORD error = WriteImageFile(path, image::OutputFormatFor(path), bytes.data(), bytes.size());
    return error == ERROR_SUCCESS ? L"" : SystemMessage(error);
}

}  // namespace cli
