#include "isp/Outcome.h"

#include "isp/IspRecords.h"

namespace isp {

int OutcomeTextId(JobKind job, std::uint16_t code) {
    switch (code) {
    case isp::kPass: return texts::kPass;
    case isp::kStop: return texts::kStop;
    case isp::kNotFindDevice: return texts::kNotFindDevice;
    case isp::kCustomerIdError: return texts::kCustomerIdError;
    case isp::kDeviceIdError: return texts::kDeviceIdError;
    }
    if (job == JobKind::Dump) return code == isp::kDumpFail ? texts::kFail : -1;
    switch (code) {
    case isp::kBaudRateTooLarge: return texts::kBaudRateTooLarge;
    case isp::kSetSyncError: return texts::kSetSyncError;
    case isp::kWriteOrError: return texts::kWriteOrError;
    case isp::kEraseError: return texts::kEraseError;
    case isp::kRegisterError: return texts::kRegisterError;
    case isp::kProgramError: return texts::kProgramError;
    }
    return -1;
}

}  // namespace isp
