// The "Flash" and "EEPROM" buffer pages of the main window's tab control.
// Each shows one code buffer in a hex editor and, below it, the path, size
// and checksum boxes. Both pages behave the same and differ only in their
// dialog template and the ids of their boxes.
#pragma once

#include "framework/Dialog.h"
#include "hexedit/HexEditBase.h"

#include <functional>

class CBufferTabPage : public CDialogEx {
public:
    struct BoxIds {
        int path;
        int sizeLabel;
        int size;
        int sumLabel;
        int sum;
    };
    CBufferTabPage(UINT templateId, const BoxIds& ids);

    // The page's hex editor: the code buffer itself.
    CHexEditBase HexEdit;
    CHexEditBase& Editor() { return HexEdit; }

    // The label texts left of the size and checksum boxes ("FileSize : ").
    void SetLabels(const wchar_t* sizeLabel, const wchar_t* sumLabel);
    void SetBoxes(const wchar_t* path, const wchar_t* size, const wchar_t* sum);
    void ClearBoxes();
    // White and writable, or grey and read-only.
    void SetEditable(bool editable);

    const BoxIds& Ids() const { return m_ids; }

    // Called each time the user changes bytes in the editor.
    void OnEditedByHand(std::function<void()> handler) { m_edited = std::move(handler); }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    bool OnCommand(int id, int code) override;

private:
    BoxIds m_ids;
    std::function<void()> m_edited;
};

class CTabDlg_Flash : public CBufferTabPage {
public:
    CTabDlg_Flash();
};

class CTabDlg_EEPROM : public CBufferTabPage {
public:
    CTabDlg_EEPROM();
};
