#include "app/PartPicker.h"

#include "isp/PartRules.h"
#include "text/UiText.h"

void PartPicker::SetTable(const isp::BodyInfo* table, std::uint32_t count) {
    m_table = count ? table : nullptr;
    m_count = m_table ? count : 0;
    m_familyUnion = parts::FamilyUnion(m_table, m_count);
    m_families.ResetContent();
    if (m_count == 0) return;  // nothing to list, and nothing may index the table
    for (unsigned bit : parts::ListedFamilyBits(m_familyUnion)) m_families.AddItem(FamilyName(bit), bit);
    m_families.SetCurSel(0);
}

void PartPicker::ListPartsOfSelectedFamily() {
    m_parts.ResetContent();
    if (m_count == 0) return;
    const int sel = m_families.GetCurSel();
    if (sel >= 0) {
        const auto bit = static_cast<unsigned>(m_families.GetItemData(sel));
        for (std::uint32_t k : parts::PartsOfFamily(m_table, m_count, m_familyUnion, bit)) {
            const wchar_t* name = m_table[k].PartName;
            m_parts.AddItem(name ? name : L"", k);
        }
    }
    m_parts.SetCurSel(0);
}

std::int32_t PartPicker::SelectedPart() const {
    const int sel = m_parts.GetCurSel();
    if (m_count == 0 || sel < 0) return -1;
    const DWORD_PTR k = m_parts.GetItemData(sel);
    return k < m_count ? static_cast<std::int32_t>(k) : -1;
}

void PartPicker::SelectFamilyOf(std::int32_t index) {
    if (index < 0 || static_cast<std::uint32_t>(index) >= m_count) return;
    const int bit = parts::LowestSetBit(m_table[index].FamilyMask);
    const int item = bit >= 0 ? m_families.FindItemData(static_cast<DWORD_PTR>(bit)) : -1;
    m_families.SetCurSel(item >= 0 ? item : 0);
}

bool PartPicker::SelectPart(std::int32_t index) {
    const int item = index >= 0 ? m_parts.FindItemData(static_cast<DWORD_PTR>(index)) : -1;
    if (item >= 0) m_parts.SetCurSel(item);
    return item >= 0;
}

bool PartPicker::Lists(std::int32_t index) const {
    if (index < 0 || static_cast<std::uint32_t>(index) >= m_count) return false;
    // The record alone, as a table of one: listed exactly when it is its
    // own first listed part.
    return parts::FirstListedPart(&m_table[index], 1, m_familyUnion) == 0;
}
