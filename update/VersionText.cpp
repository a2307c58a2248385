#include "update/VersionText.h"

namespace version {

std::wstring Dotted(std::uint32_t packed) {
    return std::to_wstring((packed >> 24) & 0xFF) + L'.' + std::to_wstring((packed >> 16) & 0xFF) + L'.' +
           std::to_wstring((packed >> 8) & 0xFF) + L'.' + std::to_wstring(packed & 0xFF);
}

}  // namespace version
