#include "run/CsvFile.h"

#include "framework/SystemText.h"
#include "run/UnitRecord.h"

namespace run {

std::wstring SystemReason(unsigned long error) {
    std::wstring text = SystemMessageLine(error);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'.')) text.pop_back();
    if (text.empty()) text = L"system error " + std::to_wstring(error);
    return text;
}

bool CsvFile::Open(const std::wstring& path, const std::vector<std::string>& columns, std::wstring* error) {
    // Append access: every write lands at the end, also when another run
    // appends to the same file. Readers may look at it meanwhile.
    file_.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        *error = SystemReason(::GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file_.get(), &size)) {
        *error = SystemReason(::GetLastError());
        file_.reset();
        return false;
    }
    columns_ = columns;
    if (size.QuadPart == 0) {
        std::string header;
        for (std::size_t i = 0; i < columns.size(); ++i) header += (i == 0 ? "" : ",") + CsvQuote(columns[i]);
        if (!Append(header, error)) {
            file_.reset();
            return false;
        }
        return true;
    }
    // The header row of the file as it is: its columns are the ones to write.
    std::string head(4096, '\0');
    DWORD got = 0;
    if (!::ReadFile(file_.get(), &head[0], static_cast<DWORD>(head.size()), &got, nullptr)) {
        *error = SystemReason(::GetLastError());
        file_.reset();
        return false;
    }
    head.resize(got);
    const std::size_t end = head.find('\n');
    columns_ = CsvColumns(std::string_view(head).substr(0, end));
    return true;
}

bool CsvFile::Append(const std::string& line, std::wstring* error) {
    const std::string bytes = line + "\r\n";
    DWORD wrote = 0;
    if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) ||
        wrote != bytes.size()) {
        *error = SystemReason(::GetLastError());
        return false;
    }
    if (!::FlushFileBuffers(file_.get())) {
        *error = SystemReason(::GetLastError());
        return false;
    }
    return true;
}

}  // namespace run
