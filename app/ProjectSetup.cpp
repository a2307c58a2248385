#include "app/ProjectSetup.h"

#include "project/ProjectPaths.h"
#include "text/Utf8.h"

#include <cwchar>

namespace setup {

void BufferHistory::Loaded(const LoadedFile& file, bool merged) {
    if (!merged) Clear();
    files.push_back(file);
}

void BufferHistory::Reloaded(const std::wstring& path, std::uint32_t address) {
    if (!files.empty() && files.back().path == path && files.back().address == address) return;
    files.push_back(LoadedFile{path, address, false});
}

std::wstring ProjectTitle(const std::wstring& title, const std::wstring& name, std::uint32_t flashCrc) {
    wchar_t crc[16] = L"";
    std::swprintf(crc, 16, L"%08X", static_cast<unsigned>(flashCrc));
    return title + L" - " + name + L" [" + crc + L"]";
}

void KeepRunSettings(const project::Project& from, const std::wstring& fromFolder, const std::wstring& toFolder,
                     project::Project& to) {
    to.note = from.note;
    to.serial = from.serial;
    if (!from.serial.listFile.empty())
        to.serial.listFile = project::StoredPath(toFolder, project::ResolvedPath(fromFolder, from.serial.listFile));
    to.ports = from.ports;
    to.log = from.log;
    to.checksums = from.checksums;
}

bool ImageToProgram(const std::vector<std::uint8_t>& buffer, std::uint32_t capacity,
                    const std::vector<image::ChecksumStep>& steps, std::vector<std::uint8_t>* programmed,
                    std::wstring* logText) {
    std::vector<std::uint8_t> copy = buffer;
    std::vector<image::ChecksumValue> values;
    const std::string why = image::ApplyChecksums(copy, capacity, steps, &values);
    if (!why.empty()) {
        *logText = text::Widen(why);
        return false;
    }
    std::string shown;
    for (const image::ChecksumValue& v : values) shown += (shown.empty() ? "" : ", ") + image::ChecksumValueText(v);
    *logText = text::Widen(shown);
    programmed->swap(copy);
    return true;
}

}  // namespace setup
