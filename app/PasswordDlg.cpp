#include "app/PasswordDlg.h"

#include "res/resource.h"
#include "text/Utf8.h"

#include <algorithm>

namespace {
template <class Text>
void Wipe(Text& text) {
    std::fill(text.begin(), text.end(), typename Text::value_type{});
    text.clear();
}
}  // namespace

CPasswordDlg::CPasswordDlg(HWND owner, int language, bool twice, texts::TextId caption)
    : CDialogEx(IDD_PASSWORD, owner), m_language(language), m_twice(twice), m_caption(caption) {}

CPasswordDlg::~CPasswordDlg() { Wipe(m_password); }

BOOL CPasswordDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    SetWindowText(LangText(m_caption, m_language));
    SetDlgItemText(IDC_PASSWORD_LABEL, LangText(texts::kPassword, m_language));
    SetDlgItemText(IDC_PASSWORD_AGAIN_LABEL, LangText(texts::kPasswordAgain, m_language));
    SetDlgItemText(IDOK, LangText(texts::kOk, m_language));
    SetDlgItemText(IDCANCEL, LangText(texts::kCancel, m_language));
    if (!m_twice) {
        ::ShowWindow(GetDlgItem(IDC_PASSWORD_AGAIN_LABEL), SW_HIDE);
        ::ShowWindow(GetDlgItem(IDC_PASSWORD_AGAIN), SW_HIDE);
    }
    return TRUE;
}

void CPasswordDlg::OnOK() {
    std::wstring first = GetDlgItemText(IDC_PASSWORD);
    std::wstring again = m_twice ? GetDlgItemText(IDC_PASSWORD_AGAIN) : first;
    if (first.empty()) SetDlgItemText(IDC_PASSWORD_NOTE, LangText(texts::kPasswordEmpty, m_language));
    else if (first != again) SetDlgItemText(IDC_PASSWORD_NOTE, LangText(texts::kPasswordsDiffer, m_language));
    else m_password = text::Utf8(first);
    Wipe(first);
    Wipe(again);
    if (!m_password.empty()) EndDialog(IDOK);
}
