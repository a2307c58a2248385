#include "tests/e2e/LinkFixture.h"

#include "isp/IspRecords.h"
#include "text/UiText.h"

#include <cstdio>

namespace e2e {

namespace {

// The parts table, read through the library as the tool reads it.
const isp::BodyInfo* Table(std::uint32_t* count) {
    static std::uint32_t n = 0;
    static isp::BodyInfo* table = nullptr;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        if (HMODULE dll = ::LoadLibraryW((BinFolder() + L"Tarvel_DLL.dll").c_str())) {
            auto get = reinterpret_cast<GetBodyInfoFn>(reinterpret_cast<void*>(::GetProcAddress(dll, "GetBodyInfo")));
            if (get) n = get(&table);
        }
    }
    *count = table ? n : 0;
    return table;
}

}  // namespace

int PartIndex(const std::wstring& name) {
    std::uint32_t n = 0;
    const isp::BodyInfo* table = Table(&n);
    for (std::uint32_t k = 0; k < n; ++k)
        if (table[k].PartName && name == table[k].PartName) return static_cast<int>(k);
    return -1;
}

std::wstring FamilyOf(const std::wstring& name) {
    std::uint32_t n = 0;
    const isp::BodyInfo* table = Table(&n);
    const int k = PartIndex(name);
    if (k < 0) return L"";
    for (unsigned bit = 0; bit < 32; ++bit)
        if (table[k].FamilyMask & (1u << bit)) return FamilyName(bit) ? FamilyName(bit) : L"";
    return L"";
}

std::wstring SumText(const Bytes& bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum = (sum + b) & 0xFFFF;
    wchar_t text[8];
    std::swprintf(text, 8, L"%04X", sum);
    return text;
}

void ToolFixture::WriteLibrarySettings(const std::string& adapterKeys) {
    // Quick runs unless the test sets these itself (the library refuses a
    // key given twice).
    std::string keys = adapterKeys;
    if (keys.find("pace=") == std::string::npos) keys += "pace=0\r\n";
    if (keys.find("repeat-delay-ms=") == std::string::npos) keys += "repeat-delay-ms=20\r\n";
    dir.WriteText(L"Tarvel_DLL.ini", "[Adapter]\r\n" + keys);
}

void ToolFixture::Start(const std::wstring& part, const std::string& adapterKeys, const std::wstring& arguments,
                        const std::wstring& currentFolder) {
    dir.InstallTool();
    WriteLibrarySettings(adapterKeys);
    const int k = PartIndex(part);
    ASSERT_GE(k, 0) << "no such part";
    dir.WriteText(L"Setting.ini", "[Setting]\r\nLastPartNo=" + std::to_string(k) + "\r\n");
    tool = std::make_unique<Tool>(dir.Path(), L"Tarvel_AP.exe", arguments, currentFolder);
    ASSERT_TRUE(tool->Started());
    ASSERT_TRUE(tool->WaitForMainWindow());
    ASSERT_EQ(tool->ComboSelection(kPartList), part);
}

void ToolFixture::TearDown() {
    if (tool && tool->Main() && ::IsWindow(tool->Main()) && tool->ItemEnabled(kExit)) {
        tool->Click(kExit);
        tool->WaitForExit(10000);
    }
    tool.reset();
}

void ToolFixture::LoadFlash(const std::wstring& path) {
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(path));
    HWND area = tool->WaitForDialogWith(kAreaAp);
    ASSERT_NE(area, nullptr);
    ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
}

void ToolFixture::SelectPart(const std::wstring& part) {
    const auto pick = [&](int list, const std::wstring& text) {
        const auto items = tool->ComboItems(list);
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == text) return tool->ChooseComboItem(list, static_cast<int>(i));
        ADD_FAILURE() << "not listed";
    };
    pick(kFamilyList, FamilyOf(part));
    pick(kPartList, part);
}

}  // namespace e2e
