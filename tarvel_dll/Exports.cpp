// Tarvel_DLL.dll: the stand-in ISP library. Six plain C exports with the
// C calling convention, defined against their declarations in
// isp/IspRecords.h.
//
// Port types 0 (COM) and 1, 2 (adapter): a COM port is driven through the
// handle the tool opened; the adapters are served by a simulated adapter and
// target inside this library, set up by Tarvel_DLL.ini.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

#include "isp/IspRecords.h"
#include "tarvel_dll/ComLink.h"
#include "tarvel_dll/DllSettings.h"
#include "tarvel_dll/protocol/Host.h"
#include "tarvel_dll/protocol/PartsTable.h"
#include "tarvel_dll/protocol/Protocol.h"
#include "tarvel_dll/protocol/SimulatedLink.h"

namespace {

using tarvel::DllSettings;

// Rates a UART of this kind can be set to at all.
constexpr std::int32_t kMinRate = 300;
constexpr std::int32_t kMaxRate = 921600;

// The open link. OpenPort and ClosePort change it under the lock; a job
// marks it busy under the lock and then uses it without, so that a ClosePort
// that arrives against the rules during a job fails instead of pulling the
// link away.
struct PortState {
    std::mutex Lock;
    bool Open = false;
    bool Busy = false;
    std::int32_t PortType = 0;
    HANDLE Handle = nullptr;
    std::unique_ptr<tarvel::Link> Link;
    tarvel::SimulatedLink* Adapter = nullptr;  // Link, when it is the adapter
    tarvel::HostTiming Timing;
    tarvel::TableVariant Table = tarvel::TableVariant::Normal;
    std::uint16_t WaitStatus = isp::kStatusWaitingForTarget;  // the adapter's [Adapter] wait-status
};

PortState& State() {
    static PortState state;
    return state;
}

// Holds the busy mark for one job.
class JobGuard {
public:
    explicit JobGuard(const isp::IspParam* param) {
        PortState& s = State();
        std::lock_guard<std::mutex> lock(s.Lock);
        if (!s.Open || s.Busy || s.Link == nullptr) return;
        // A COM handle other than the one opened is not ours to use.
        if (param->PortType != s.PortType || (s.PortType == isp::kPortCom && param->PortHandle != s.Handle)) return;
        s.Busy = true;
        ok_ = true;
    }
    ~JobGuard() {
        if (!ok_) return;
        PortState& s = State();
        std::lock_guard<std::mutex> lock(s.Lock);
        s.Busy = false;
    }
    JobGuard(const JobGuard&) = delete;
    JobGuard& operator=(const JobGuard&) = delete;
    bool Ok() const { return ok_; }

private:
    bool ok_ = false;
};

bool RateValid(std::int32_t rate) { return rate >= kMinRate && rate <= kMaxRate; }

// Checks shared by UpdateMCU and DumpInfo and the job description they share.
// Returns false when the record cannot be used at all.
bool PrepareJob(const isp::IspParam* p, tarvel::HostJob& job) {
    PortState& s = State();
    const tarvel::PartsView parts = tarvel::Parts(s.Table);
    if (p->PartIndex < 0 || static_cast<std::uint32_t>(p->PartIndex) >= parts.Count) return false;
    job.Body = &parts.Body[p->PartIndex];
    job.Traits = parts.Traits[p->PartIndex];
    job.CheckRate = p->CheckRate;
    job.BaudRate = p->BaudRate;
    job.OptionBits = p->OptionBits;
    job.SetupFlags = p->SetupFlags;
    job.Status = p->StatusCell;
    job.Stop = p->StopCell;
    job.Timing = s.Timing;
    job.WaitStatus = s.WaitStatus;
    if (s.Adapter != nullptr) s.Adapter->FollowPart(p->PartIndex);
    return true;
}

}  // namespace

extern "C" std::uint32_t TARVEL_CALL GetBodyInfo(isp::BodyInfo** table) {
    const DllSettings settings = tarvel::ReadDllSettings();
    tarvel::TableVariant variant = settings.Table;
    // No parts at all is a test variant of its own, which a mistyped [Parts]
    // entry must not pass for: the regular table then, and the cause on the
    // debugger output (OpenPort refuses such a file).
    if (const tarvel::SettingsProblem* problem = settings.FirstProblem("Parts")) {
        tarvel::ReportSettingsProblem(*problem);
        variant = tarvel::TableVariant::Normal;
    }
    const tarvel::PartsView parts = tarvel::Parts(variant);
    if (table == nullptr) return 0;
    // The table is static: it stays valid for the life of the process.
    *table = const_cast<isp::BodyInfo*>(parts.Body);
    return parts.Count;
}

extern "C" std::uint16_t TARVEL_CALL GetDLLInfo(std::uint32_t* version, std::int32_t* edition) {
    const DllSettings s = tarvel::ReadDllSettings();
    // An [Info] entry that cannot be taken: the library's own version and
    // edition, and a failure code with the cause on the debugger output.
    const tarvel::SettingsProblem* problem = s.FirstProblem("Info");
    const DllSettings defaults;
    if (problem != nullptr) tarvel::ReportSettingsProblem(*problem);
    if (version != nullptr) *version = problem != nullptr ? defaults.Version : s.Version;
    if (edition != nullptr) *edition = problem != nullptr ? defaults.Edition : s.Edition;
    return problem != nullptr ? static_cast<std::uint16_t>(isp::kComOpenError) : static_cast<std::uint16_t>(isp::kPass);
}

extern "C" std::uint16_t TARVEL_CALL OpenPort(isp::IspParam* param) {
    if (param == nullptr) return isp::kComOpenError;
    PortState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    if (s.Busy) return isp::kComOpenError;
    const DllSettings settings = tarvel::ReadDllSettings();
    // A run set up from a file with an entry that was not taken would not be
    // the run the file describes.
    if (const tarvel::SettingsProblem* problem = settings.FirstProblem()) {
        tarvel::ReportSettingsProblem(*problem);
        return isp::kComOpenError;
    }

    std::unique_ptr<tarvel::Link> link;
    tarvel::SimulatedLink* adapter = nullptr;
    switch (param->PortType) {
    case isp::kPortCom: {
        if (!RateValid(param->CheckRate)) return isp::kComOpenError;
        auto com = std::make_unique<tarvel::ComLink>(param->PortHandle);
        if (!com->Configure(static_cast<std::uint32_t>(param->CheckRate))) return isp::kComOpenError;
        link = std::move(com);
        break;
    }
    case isp::kPortKV705:
    case isp::kPortKV707: {
        auto sim =
            std::make_unique<tarvel::SimulatedLink>(settings.Adapter, tarvel::Parts(settings.Table), param->PartIndex);
        adapter = sim.get();
        link = std::move(sim);
        break;
    }
    default: return isp::kComOpenError;
    }
    s.Link = std::move(link);
    s.Adapter = adapter;
    s.PortType = param->PortType;
    s.Handle = param->PortType == isp::kPortCom ? param->PortHandle : nullptr;
    s.Timing = settings.Timing;
    s.Table = settings.Table;
    // A COM port's target is a real one (or the simulator): the status word
    // while waiting is 0xFFFF there.
    s.WaitStatus = adapter != nullptr ? settings.Adapter.WaitStatus : isp::kStatusWaitingForTarget;
    s.Open = true;
    return isp::kPass;
}

extern "C" std::uint16_t TARVEL_CALL ClosePort(isp::IspParam* param) {
    if (param == nullptr) return isp::kComOpenError;
    PortState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    if (s.Busy) return isp::kComOpenError;
    // The COM handle stays open: the caller closes it after this returns.
    s.Link.reset();
    s.Adapter = nullptr;
    s.Handle = nullptr;
    s.Open = false;
    return isp::kPass;
}

extern "C" std::uint16_t TARVEL_CALL UpdateMCU(isp::IspParam* param) {
    if (param == nullptr || param->StatusCell == nullptr || param->StopCell == nullptr) return isp::kComOpenError;
    JobGuard guard(param);
    if (!guard.Ok()) return isp::kComOpenError;
    tarvel::HostJob job;
    if (!PrepareJob(param, job)) return isp::kDeviceIdError;
    if (!RateValid(param->CheckRate)) return isp::kSetSyncError;
    if (param->BaudRate != 0 && !RateValid(param->BaudRate)) return isp::kBaudRateTooLarge;
    // The images must fit the part and there must be code to program.
    if (param->CodeImage == nullptr || param->CodeSize <= 0 ||
        static_cast<std::uint32_t>(param->CodeSize) > job.Body->CodeCapacity) {
        return isp::kProgramError;
    }
    if (param->DataSize < 0 || static_cast<std::uint32_t>(param->DataSize) > job.Body->DataCapacity ||
        (param->DataSize > 0 && param->DataImage == nullptr)) {
        return isp::kProgramError;
    }
    job.Code = param->CodeImage;
    job.CodeSize = static_cast<std::size_t>(param->CodeSize);
    job.Data = param->DataSize > 0 ? param->DataImage : nullptr;
    job.DataSize = static_cast<std::size_t>(param->DataSize);
    return tarvel::RunUpdate(*State().Link, job);
}

extern "C" std::uint16_t TARVEL_CALL DumpInfo(isp::IspParam* param) {
    if (param == nullptr || param->StatusCell == nullptr || param->StopCell == nullptr) return isp::kDumpFail;
    JobGuard guard(param);
    if (!guard.Ok()) return isp::kDumpFail;
    tarvel::HostJob job;
    if (!PrepareJob(param, job)) return isp::kDumpFail;
    if (!RateValid(param->CheckRate)) return isp::kDumpFail;
    if (param->CodeImage == nullptr || param->CodeSize < static_cast<std::int32_t>(tarvel::kInfoSize))
        return isp::kDumpFail;
    std::uint8_t info[tarvel::kInfoSize];
    const std::uint16_t rc = tarvel::RunDump(*State().Link, job, info);
    if (rc == isp::kPass) std::memcpy(param->CodeImage, info, sizeof info);
    return rc;
}
