#include "cli/LocalBoard.h"

#include <system_error>
#include <utility>

#include "cli/Console.h"
#include "cli/ExitCodes.h"
#include "cli/Files.h"

namespace cli {

LocalBoard::LocalBoard(const isp::TarvelDll& library, BoardSetup setup)
    : library_(library), setup_(std::move(setup)), link_(library), call_(library, param_) {
    param_.PartIndex = setup_.partIndex;
    param_.CheckRate = setup_.link.checkRate;
    param_.BaudRate = setup_.link.baudRate;
    param_.OptionBits = setup_.optionBits;
    param_.SetupFlags = setup_.setupFlags;
    param_.StatusCell = &status_;
    param_.StopCell = &stop_;
}

LocalBoard::~LocalBoard() {
    if (busy_) {
        stop_ = 1;
        call_.Finish();
    }
    if (link_.IsOpen()) link_.Close(param_);
}

int LocalBoard::Open() {
    const std::wstring& name = setup_.link.port.name;
    const isp::OpenOutcome opened = link_.Open(param_, name, static_cast<std::uint32_t>(setup_.link.baudRate),
                                               static_cast<std::uint32_t>(setup_.link.checkRate));
    switch (opened.kind) {
    case isp::OpenOutcome::kPass: return kExitOk;
    case isp::OpenOutcome::kNoSuchPort: return Fail(kExitPort, name + L" does not exist on this computer");
    case isp::OpenOutcome::kPortInUse:
        return Fail(kExitPort, name + L" is in use by another program (" + SystemMessage(opened.systemError) + L")");
    case isp::OpenOutcome::kPortNotOpened:
        return Fail(kExitPort, L"cannot open " + name + L": " + SystemMessage(opened.systemError));
    case isp::OpenOutcome::kLibraryRefused:
        return Fail(kExitPort, L"the library could not open the link on " + name + L" (result " +
                                   std::to_wstring(opened.libraryCode) + L")");
    }
    return kExitPort;
}

void LocalBoard::StartBoard(std::uint64_t, const SerialValue* serial) {
    if (busy_) return;
    // Each board gets a fresh copy, with its own serial written in and the
    // checksums computed over its own bytes (steps checked before the run).
    code_ = setup_.code;
    data_ = setup_.data;
    if (serial != nullptr)
        MakeBoardImage(code_, setup_.serialField, serial, setup_.checksums, setup_.codeCapacity, nullptr);
    param_.CodeImage = code_.empty() ? nullptr : code_.data();
    param_.CodeSize = static_cast<std::int32_t>(code_.size());
    param_.DataImage = data_.empty() ? nullptr : data_.data();
    param_.DataSize = static_cast<std::int32_t>(data_.size());
    stop_ = 0;
    status_ = isp::kStatusWaitingForTarget;
    toldStatus_ = isp::kStatusWaitingForTarget;
    busy_ = true;
    started_ = isp::SecondsNow();
    call_.Start(isp::Operation::Update);
}

void LocalBoard::StopBoard() { stop_ = 1; }

isp::CallResult LocalBoard::Dump(std::vector<std::uint8_t>& block, isp::CallObserver& observer) {
    param_.CodeImage = block.data();
    param_.CodeSize = static_cast<std::int32_t>(block.size());
    param_.DataImage = nullptr;
    param_.DataSize = 0;
    stop_ = 0;
    const isp::CallResult result = call_.Run(isp::Operation::Dump, observer);
    param_.CodeImage = nullptr;
    return result;
}

void LocalBoard::Poll(std::vector<DriverEvent>* events) {
    if (!readyTold_ && link_.IsOpen()) {
        readyTold_ = true;
        DriverEvent ready;
        ready.kind = DriverEvent::Kind::Ready;
        events->push_back(ready);
    }
    if (!busy_) return;
    const std::uint16_t word = status_.load();
    if (word != toldStatus_) {
        toldStatus_ = word;
        DriverEvent status;
        status.kind = DriverEvent::Kind::Status;
        status.word = word;
        events->push_back(status);
    }
    if (!call_.Check()) return;
    const isp::CallResult result = call_.Finish();
    busy_ = false;
    param_.CodeImage = nullptr;
    param_.DataImage = nullptr;
    DriverEvent done;
    done.kind = DriverEvent::Kind::Outcome;
    done.outcome.code = result.code;
    done.outcome.librarySeconds = result.librarySeconds;
    done.outcome.waitSeconds = result.waitSeconds;
    done.outcome.portLost = result.portLost;
    done.outcome.noThread = result.threadFailed;
    done.outcome.seconds = isp::SecondsNow() - started_;
    events->push_back(done);
}

}  // namespace cli
