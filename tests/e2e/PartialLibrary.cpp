// A library that lacks four of the six operations, to check that the tool
// names what is missing instead of failing to start.
#include "isp/IspRecords.h"

extern "C" {

TARVEL_API std::uint32_t TARVEL_CALL GetBodyInfo(isp::BodyInfo** table) {
    if (table) *table = nullptr;
    return 0;
}

TARVEL_API std::uint16_t TARVEL_CALL GetDLLInfo(std::uint32_t* version, std::int32_t* edition) {
    if (version) *version = 0x01000007;
    if (edition) *edition = 0;
    return isp::kPass;
}

}  // extern "C"
