#include "cli/SerialRun.h"

#include <memory>
#include <vector>

#include "cli/ExitCodes.h"
#include "cli/Files.h"
#include "cli/Text.h"
#include "files/FirmwareFile.h"

namespace cli {
namespace {

// The whole list, read through the same opener as firmware files (no sharing
// with a program that still writes it).
bool ReadSerialList(const std::wstring& path, std::string* text, std::uint32_t* error) {
    WinFileOpener opener;
    const std::unique_ptr<image::FileSource> file = opener.Open(path, *error);
    if (!file) return false;
    std::uint8_t block[4096];
    for (;;) {
        std::size_t got = 0;
        if (!file->Read(block, sizeof block, got)) {
            *error = file->LastError();
            return false;
        }
        if (got == 0) return true;
        text->append(reinterpret_cast<const char*>(block), got);
    }
}

}  // namespace

int SerialRun::Setup(const Options& o, std::wstring* note, std::wstring* why) {
    note->clear();
    if (!o.serialList.empty()) {
        std::string text;
        std::uint32_t error = 0;
        if (!ReadSerialList(o.serialList, &text, &error)) {
            *why = L"cannot read the serial list " + o.serialList + L": " + SystemMessage(error);
            return kExitFile;
        }
        std::vector<SerialValue> values;
        std::string reason;
        if (!ParseSerialList(text, o.serialField, &values, &reason)) {
            *why = L"serial list " + o.serialList + L", " + Widen(reason);
            return kExitFile;
        }
        book_ = std::make_unique<SerialBook>(std::move(values));
    } else {
        book_ = std::make_unique<SerialBook>(o.serialStart, o.serialStep, o.serialField.width);
    }
    if (o.serialState.empty()) return kExitOk;

    std::string content;
    switch (state_.Open(o.serialState, &content, why)) {
    case StateFile::Opened::Ok: break;
    case StateFile::Opened::Busy: return kExitUsage;
    case StateFile::Opened::Error: return kExitFile;
    }
    std::string reason;
    if (content.empty()) {
        // New (or created by a run that died before its first line).
        book_->Attach(&state_);
        if (!book_->Begin(&reason)) {
            *why = L"cannot write the serial state file " + o.serialState + L": " + Widen(reason);
            return kExitFile;
        }
        return kExitOk;
    }
    std::string carried;
    if (!book_->Resume(content, &carried, &reason)) {
        *why = L"serial state file " + o.serialState + L": " + Widen(reason);
        return kExitFile;
    }
    book_->Attach(&state_);
    *note = L"serial state file " + o.serialState + L": " + Widen(carried);
    if (o.serialList.empty()) *note += L" (the state file wins over --serial-start and --serial-step)";
    return kExitOk;
}

}  // namespace cli
