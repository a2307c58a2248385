#include "isp/PartRules.h"

#include "text/Letters.h"

namespace parts {

std::uint32_t FamilyUnion(const isp::BodyInfo* table, std::uint32_t count) {
    std::uint32_t u = 0;
    for (std::uint32_t k = 0; table && k < count; ++k) u |= table[k].FamilyMask;
    return u;
}

std::vector<unsigned> ListedFamilyBits(std::uint32_t familyUnion) {
    std::vector<unsigned> bits;
    for (unsigned b = 0; b < kNamedFamilies; ++b)
        if (familyUnion & (1u << b)) bits.push_back(b);
    return bits;
}

bool IsListedUnder(std::uint32_t mask, std::uint32_t familyUnion, unsigned bit) {
    return bit < 32 && (mask & familyUnion) == (1u << bit);
}

std::vector<std::uint32_t> PartsOfFamily(const isp::BodyInfo* table, std::uint32_t count, std::uint32_t familyUnion,
                                         unsigned bit) {
    std::vector<std::uint32_t> list;
    for (std::uint32_t k = 0; table && k < count; ++k)
        if (IsListedUnder(table[k].FamilyMask, familyUnion, bit)) list.push_back(k);
    return list;
}

std::int32_t FirstListedPart(const isp::BodyInfo* table, std::uint32_t count, std::uint32_t familyUnion) {
    for (std::uint32_t k = 0; table && k < count; ++k) {
        const int bit = LowestSetBit(table[k].FamilyMask);
        if (bit >= 0 && static_cast<unsigned>(bit) < kNamedFamilies &&
            IsListedUnder(table[k].FamilyMask, familyUnion, static_cast<unsigned>(bit)))
            return static_cast<std::int32_t>(k);
    }
    return -1;
}

int LowestSetBit(std::uint32_t mask) {
    for (int b = 0; b < 32; ++b)
        if (mask & (1u << b)) return b;
    return -1;
}

std::int32_t ValidPartIndex(std::int32_t saved, std::uint32_t count) {
    if (saved < 0 || static_cast<std::uint32_t>(saved) >= count) return 0;
    return saved;
}

unsigned VisibleOptions(const isp::BodyInfo& body) { return body.OptionCount < 8 ? body.OptionCount : 8; }

const wchar_t* OptionCaption(const isp::BodyInfo& body, unsigned n, int language) {
    if (n >= VisibleOptions(body)) return L"";
    const isp::OptionCaptionPair& pair = body.OptionCaption[n];
    const wchar_t* caption = PickLanguage(pair.English, pair.Chinese, language);
    return caption ? caption : L"";
}

std::int32_t FindPart(const isp::BodyInfo* table, std::uint32_t count, const std::wstring& name) {
    if (table == nullptr) return -1;
    for (std::uint32_t i = 0; i < count; ++i)
        if (table[i].PartName != nullptr && name == table[i].PartName) return static_cast<std::int32_t>(i);
    std::int32_t found = -1;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (table[i].PartName != nullptr && text::SameIgnoringCase(name, table[i].PartName)) {
            if (found >= 0) return -1;  // two parts differ only in case: the name is not enough
            found = static_cast<std::int32_t>(i);
        }
    }
    return found;
}

}  // namespace parts
