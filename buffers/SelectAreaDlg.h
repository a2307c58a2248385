// "Select Insert Area": asked before every file the user loads into the Flash
// buffer. Program code goes to offset 0; data (IAP) goes to a hexadecimal
// address, offered as the part's data address. "Clear Buffer" starts the load
// from an empty buffer instead of laying the file over what is there.
#pragma once

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "image/LoadState.h"

#include <cstdint>

class CSelectAreaDlg : public CDialogEx {
public:
    CSelectAreaDlg(HWND owner, int language, std::uint32_t dataAddress);

    // The choice, valid after DoModal returned IDOK.
    const image::InsertSettings& Choice() const { return m_choice; }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;
    bool OnClicked(int id) override;

private:
    // The address edit passes on only hexadecimal digits and Backspace as
    // typed characters; pasted text is not filtered.
    class HexDigitEdit : public CEdit {
    protected:
        LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    };

    int m_language;
    std::uint32_t m_dataAddress;
    image::InsertSettings m_choice;
    HexDigitEdit m_address;
    CButton m_areaAp;
    CButton m_areaIap;
    CButton m_clearBuffer;
};
