// Rules of the two-step part choice (family, then part) over the library's
// parts table, kept apart from the window so that they can be tested alone.
#pragma once

#include "isp/IspRecords.h"
#include "text/UiText.h"

#include <cstdint>
#include <string>
#include <vector>

namespace parts {

// Number of named families; family bit i is named by FamilyNames[i].
constexpr unsigned kNamedFamilies = kFamilyNameCount;

// OR of the FamilyMask of every record.
std::uint32_t FamilyUnion(const isp::BodyInfo* table, std::uint32_t count);

// Family bits to list, lowest first. Bits without a name (14 and up) add no
// entry.
std::vector<unsigned> ListedFamilyBits(std::uint32_t familyUnion);

// A part is listed under family `bit` when its mask, within the union,
// is exactly that bit: a part with two family bits is listed under none.
bool IsListedUnder(std::uint32_t mask, std::uint32_t familyUnion, unsigned bit);

// Record indices listed under family `bit`, in table order.
std::vector<std::uint32_t> PartsOfFamily(const isp::BodyInfo* table, std::uint32_t count, std::uint32_t familyUnion,
                                         unsigned bit);

// First record, in table order, that the family and part lists can show
// (listed under a named family), or -1 when there is none.
std::int32_t FirstListedPart(const isp::BodyInfo* table, std::uint32_t count, std::uint32_t familyUnion);

// Lowest set bit of mask, or -1 when none.
int LowestSetBit(std::uint32_t mask);

// A saved part number that names no record falls back to the first record.
std::int32_t ValidPartIndex(std::int32_t saved, std::uint32_t count);

// Number of option boxes a part shows: its OptionCount, at most 8.
unsigned VisibleOptions(const isp::BodyInfo& body);

// Caption of option box n of the part in the window's language; empty when
// the part shows fewer boxes or names none.
const wchar_t* OptionCaption(const isp::BodyInfo& body, unsigned n, int language);

// True when the part's class runs the link at a fixed 115200; these classes
// can also read back the information block ("Dump Info").

inline bool IsFixedRateClass(std::int32_t partClass) { return partClass == 1 || partClass == 2; }

// Record index of the part named `name`: the exact name, or else the one
// name that matches ignoring ASCII letter case; -1 when none does.
std::int32_t FindPart(const isp::BodyInfo* table, std::uint32_t count, const std::wstring& name);

}  // namespace parts
