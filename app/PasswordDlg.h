// The password of a project: asked twice when "Save project as..." locks a
// project, once when "Unlock project..." opens one. The texts follow the
// window's language; an empty password, or two that differ, keep the dialog
// open with a note saying so.
#pragma once

#include "framework/Dialog.h"
#include "text/UiText.h"

#include <string>

class CPasswordDlg : public CDialogEx {
public:
    CPasswordDlg(HWND owner, int language, bool twice, texts::TextId caption);
    ~CPasswordDlg() override;

    // The password in UTF-8, valid after DoModal returned IDOK.
    const std::string& Password() const { return m_password; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    int m_language;
    bool m_twice;
    texts::TextId m_caption;
    std::string m_password;
};
