// The two-step part choice of the main window: a family list, then the parts
// of that family. Each family item carries its family bit and each part item
// its record index in the library's parts table, so a part name that appears
// twice in the table still selects its own record.
#pragma once

#include "framework/Controls.h"
#include "isp/IspRecords.h"

#include <cstdint>

class PartPicker {
public:
    PartPicker(CComboBox& families, CComboBox& parts) : m_families(families), m_parts(parts) {}

    // Lists the families of the table and selects the first; an empty table
    // leaves both lists empty.
    void SetTable(const isp::BodyInfo* table, std::uint32_t count);
    std::uint32_t FamilyUnion() const { return m_familyUnion; }

    // Lists the parts of the selected family and selects the first.
    void ListPartsOfSelectedFamily();
    // Record index of the selected part, or -1.
    std::int32_t SelectedPart() const;

    // Selects the family of the part's lowest family bit (the first family
    // when the lists do not have it).
    void SelectFamilyOf(std::int32_t index);
    // Selects the part in the part list; false when the list does not have it.
    bool SelectPart(std::int32_t index);
    // Whether the lists can show the record (it is listed under a family).
    bool Lists(std::int32_t index) const;

private:
    CComboBox& m_families;
    CComboBox& m_parts;
    const isp::BodyInfo* m_table = nullptr;
    std::uint32_t m_count = 0;
    std::uint32_t m_familyUnion = 0;
};
