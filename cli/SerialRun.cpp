#include "cli/SerialRun.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "cli/ExitCodes.h"
#include "cli/Files.h"
#include "cli/Text.h"
#include "files/FirmwareFile.h"
#include "framework/FileRead.h"
#include "run/Station.h"

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

// The first line of --serial-db-password-file, without its line break (and
// without a UTF-8 byte-order mark in front).
bool ReadDbPassword(const std::wstring& path, std::string* password, std::wstring* why) {
    std::vector<std::uint8_t> bytes;
    const DWORD error = ReadWholeFile(path, 64u << 10, &bytes);
    if (error != ERROR_SUCCESS) {
        *why = L"--serial-db-password-file: cannot read " + path + L": " + SystemMessage(error);
        return false;
    }
    std::string text(bytes.begin(), bytes.end());
    std::fill(bytes.begin(), bytes.end(), 0);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    password->assign(text, 0, text.find('\n'));
    std::fill(text.begin(), text.end(), '\0');
    if (!password->empty() && password->back() == '\r') password->pop_back();
    if (password->empty()) {
        *why = L"--serial-db-password-file: " + path + L" holds no password on its first line";
        return false;
    }
    return true;
}

}  // namespace

int SerialRun::SetupDatabase(const Options& o, std::vector<SerialValue> list, std::wstring* note, std::wstring* why) {
    std::string connection = Utf8(o.serialDb);
    if (!o.serialDbPasswordFile.empty()) {
        std::string password;
        if (!ReadDbPassword(o.serialDbPasswordFile, &password, why)) return kExitFile;
        connection = db::WithPassword(connection, password);
        std::fill(password.begin(), password.end(), '\0');
    }
    // The unit records wait beside --units, or beside the serial journal.
    const std::wstring outboxPath = (o.units.empty() ? o.serialState : o.units) + L".outbox";
    std::string outboxText, outboxWhy;
    switch (outboxFile_.Open(outboxPath, &outboxText, why)) {
    case StateFile::Opened::Ok: break;
    case StateFile::Opened::Busy: return kExitUsage;
    case StateFile::Opened::Error: return kExitFile;
    }
    outbox_ = std::make_unique<UnitOutbox>(connection);
    if (!outbox_->Start(outboxText, &outboxFile_, &outboxWhy)) {
        *why = L"unit record outbox " + outboxPath + L": " + Widen(outboxWhy);
        return kExitFile;
    }
    db_ = std::make_unique<DbSerials>(std::move(connection), Utf8(o.serialSeries), run::StationName(), o.serialField,
                                      o.serialStart, o.serialStep, std::move(list));
    std::string content;
    switch (state_.Open(o.serialState, &content, why)) {
    case StateFile::Opened::Ok: break;
    case StateFile::Opened::Busy: return kExitUsage;
    case StateFile::Opened::Error: return kExitFile;
    }
    std::string said, reason;
    switch (db_->Start(content, &state_, &said, &reason)) {
    case DbSerials::Started::Ok: break;
    case DbSerials::Started::Refused:
        *why = L"serial numbers from the database " + Widen(db::HidePassword(Utf8(o.serialDb))) + L": " + Widen(reason);
        return kExitUsage;
    case DbSerials::Started::JournalFailed:
        *why = L"cannot write the serial state file " + o.serialState + L": " + Widen(reason);
        return kExitFile;
    }
    *note = L"serial numbers from the series " + o.serialSeries + L" in the database";
    if (!said.empty()) *note += L": " + Widen(said);
    if (const std::size_t waiting = outbox_->Waiting()) {
        *note += L"; " + std::to_wstring(waiting) + L" unit record(s) of an earlier run wait for the database";
        if (outbox_->Send(&outboxWhy, true)) *note += L": sent";
    }
    return kExitOk;
}

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
        if (!o.serialDb.empty()) return SetupDatabase(o, std::move(values), note, why);
        book_ = std::make_unique<SerialBook>(std::move(values));
    } else if (!o.serialDb.empty()) {
        return SetupDatabase(o, {}, note, why);
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
