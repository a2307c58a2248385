// Family and part lists of the main window, and what a part change resets.
#include "app/PartRules.h"
#include "app/Tarvel_APDlg.h"
#include "app/UiText.h"
#include "res/resource.h"

#include <commctrl.h>

#include <cstring>

namespace {

int ComboCount(HWND combo) { return static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0)); }

std::wstring ComboItemText(HWND combo, int index) {
    const LRESULT n = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n == CB_ERR) return L"";
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(n));
    return text;
}

std::wstring ComboSelectedText(HWND combo) {
    const LRESULT sel = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return sel == CB_ERR ? std::wstring() : ComboItemText(combo, static_cast<int>(sel));
}

// Index of the first item equal to text, or -1.
int ComboFindExact(HWND combo, const std::wstring& text) {
    const int n = ComboCount(combo);
    for (int i = 0; i < n; ++i)
        if (ComboItemText(combo, i) == text) return i;
    return -1;
}

}  // namespace

void CTarvel_APDlg::FillFamilyList() {
    HWND families = GetDlgItem(IDC_FAMILY_LIST);
    ::SendMessageW(families, CB_RESETCONTENT, 0, 0);
    if (BodyCount == 0) return;  // nothing to list, and nothing may index the table
    for (unsigned bit : parts::ListedFamilyBits(FamilyUnion))
        ::SendMessageW(families, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FamilyName(bit)));
    ::SendMessageW(families, CB_SETCURSEL, 0, 0);
    OnFamilyChanged();
}

void CTarvel_APDlg::OnFamilyChanged() {
    HWND partList = GetDlgItem(IDC_PART_LIST);
    ::SendMessageW(partList, CB_RESETCONTENT, 0, 0);
    if (BodyCount == 0) return;

    const std::wstring family = ComboSelectedText(GetDlgItem(IDC_FAMILY_LIST));
    for (unsigned bit = 0; bit < parts::kNamedFamilies; ++bit) {
        if (family != FamilyName(bit)) continue;
        for (std::uint32_t k : parts::PartsOfFamily(BodyTable, BodyCount, FamilyUnion, bit))
            ::SendMessageW(partList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(BodyTable[k].PartName));
        break;
    }
    ::SendMessageW(partList, CB_SETCURSEL, 0, 0);
    OnPartChanged();
}

void CTarvel_APDlg::OnPartChanged() {
    if (BodyCount == 0) return;

    const std::wstring name = ComboSelectedText(GetDlgItem(IDC_PART_LIST));
    for (std::uint32_t k = 0; k < BodyCount && !name.empty(); ++k) {
        if (!BodyTable[k].PartName || name != BodyTable[k].PartName) continue;
        const isp::BodyInfo* previous = SelectedBody();
        IspParam->PartIndex = static_cast<std::int32_t>(k);
        if (!previous || previous->PartClass != BodyTable[k].PartClass) OnPortChanged();
        break;
    }

    const isp::BodyInfo* body = SelectedBody();
    const unsigned shown = body ? parts::VisibleOptions(*body) : 0;
    for (unsigned n = 0; n < 8; ++n) {
        const int id = IDC_OPTION0 + static_cast<int>(n);
        const wchar_t* caption = L"";
        if (n < shown) {
            const isp::OptionCaptionPair& pair = body->OptionCaption[n];
            caption = (Language == 0 ? pair.English : pair.Chinese);
            if (!caption) caption = L"";
        }
        SetDlgItemText(id, caption);
        EnableDlgItem(id, n < shown);
        SendDlgItemMessage(id, BM_SETCHECK, BST_UNCHECKED);
    }

    HWND tab = GetDlgItem(IDC_TAB);
    const int tabs = TabCtrl_GetItemCount(tab);
    if (body && body->DataCapacity != 0 && tabs == 1) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(L"EEPROM");
        TabCtrl_InsertItem(tab, 1, &item);
    } else if (body && body->DataCapacity == 0 && tabs == 2) {
        TabCtrl_DeleteItem(tab, 1);
    }

    FlashPage.HexEdit.SetBuffer(nullptr, 0);
    EepromPage.HexEdit.SetBuffer(nullptr, 0);
    ShowTabPage(0);

    for (image::BufferSlot& slot : BufferSlot) slot = image::SlotAfterPartChange();
    IspParam->OptionBits = 0;
    FlashPage.ClearBoxes();
    EepromPage.ClearBoxes();
    EnableDlgItem(IDC_UPDATE, false);
    EnableDlgItem(IDC_REPEAT_UPDATE, false);
    FileLoaded = 0;
}

bool CTarvel_APDlg::ShowPart(std::int32_t index) {
    const isp::BodyInfo& body = BodyTable[index];
    const int bit = parts::LowestSetBit(body.FamilyMask);
    if (bit >= 0) {
        HWND families = GetDlgItem(IDC_FAMILY_LIST);
        const wchar_t* familyName = FamilyName(static_cast<unsigned>(bit));
        const int item = familyName ? ComboFindExact(families, familyName) : -1;
        ::SendMessageW(families, CB_SETCURSEL, item >= 0 ? item : 0, 0);
        OnFamilyChanged();
    }
    HWND partList = GetDlgItem(IDC_PART_LIST);
    const int item = body.PartName ? ComboFindExact(partList, body.PartName) : -1;
    if (item >= 0) ::SendMessageW(partList, CB_SETCURSEL, item, 0);
    OnPartChanged();
    return item >= 0;
}

void CTarvel_APDlg::SelectLastPart() {
    if (BodyCount == 0) return;
    // A saved number that names no record starts on the first record.
    IspParam->PartIndex = parts::ValidPartIndex(IspParam->PartIndex, BodyCount);
    const isp::IspParam saved = *IspParam;
    if (ShowPart(saved.PartIndex)) {
        // The lists show the saved part: put the record back as it was read
        // (part number and option bits).
        *IspParam = saved;
        return;
    }
    // A part listed under no family (two family bits, or only bits without
    // a name) cannot be shown. Start on the first part the lists can show,
    // so that the lists and PartIndex never disagree; with none at all no
    // part is selected.
    const std::int32_t first = parts::FirstListedPart(BodyTable, BodyCount, FamilyUnion);
    if (first >= 0) ShowPart(first);
    *IspParam = saved;
    IspParam->PartIndex = first;
}
