#include "cli/SerialRun.h"

#include <vector>

#include "cli/ExitCodes.h"
#include "cli/Files.h"
#include "cli/Text.h"

namespace cli {

int SerialRun::Setup(const Options& o, std::wstring* note, std::wstring* why) {
    note->clear();
    if (!o.serialList.empty()) {
        // Read whole, as a HEX file is: no size check before reading.
        const FileBytes file = ReadFirmwareFile(o.serialList, true, 0, 0);
        if (file.status != ReadStatus::Ok) {
            *why = L"cannot read the serial list " + o.serialList + L": " + SystemMessage(file.error);
            return kExitFile;
        }
        std::vector<SerialValue> values;
        std::string reason;
        if (!ParseSerialList(std::string(file.bytes.begin(), file.bytes.end()), o.serialField, &values, &reason)) {
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
