// UTF-8 source: the Chinese halves are written as they read.
#include "text/UiText.h"

#include <cwchar>

// Each literal is "English\0Chinese"; no Chinese half starts with a digit,
// so the \0 never runs into an octal escape.
const wchar_t* const UiText[kUiTextCount] = {
    L"Tessaro\0泰索科技",
    L"Tarvel\0Tarvel",
    L"Check\0检测",
    L"Download\0下载",
    L"Can't connect server\0无法连接伺服器",
    L"Server information error\0伺服器资讯错误",
    L"Already the latest version\0已经是最新版本",
    L"Have new version\0有新版本",
    L"Please click Download to update\0请点击下载进行更新",
    L"MCU Type\0芯片",
    L"COM Port Setting\0串口设置",
    L"Download Setting\0下载设置",
    L"MCU Options\0芯片选项",
    L"Message\0消息框",
    L"Code Buffer\0代码缓冲区",
    L"Part No\0芯片型号",
    L"Port No\0串口选择",
    L"Baudrate\0下载波特率",
    L"Checkrate\0通讯波特率",
    L"FileSize\0文件大小",
    L"CheckSum\0检验和",
    L"Auto Reload Code\0自动重载",
    L"Erase by file size\0依文件大小擦除",
    L"External RSTN Cold Reset\0外部RSTN脚冷复位",
    L"Enable Modify Buffer\0开启修改缓冲区",
    L"Update Target\0更新芯片",
    L"Repeat Update\0重覆更新",
    L"Dump Info\0读取芯片信息",
    L"Load File\0打开文件",
    L"Assistant\0串口助手",
    L"Exit\0离开",
    L"Select Insert Area\0选择插入区域",
    L"AP (Code)\0AP (程序)",
    L"IAP (Data)\0IAP (资料)",
    L"Address : 0x\0位置 : 0x",
    L"Clear Buffer\0清除缓冲区",
    L"OK\0确定",
    L"Cancel\0取消",
    L"Pass\0成功",
    L"Fail\0失败",
    L"Stop\0停止",
    L"Open file error\0开启文件错误",
    L"File is too large !\0文件太大了",
    L"Opten COM error\0开启COM错误",
    L"Please repower on DUT\0请将装置重新上电",
    L"Not find device\0找不到装置",
    L"CustomerID error\0CustomerID错误",
    L"DeviceID error\0DeviceID错误",
    L"BaudRate too large\0波特率太高",
    L"Set sync error\0设定同步错误",
    L"Write OR error\0写入OR错误",
    L"Erase error\0擦除错误",
    L"Register error\0写入选项错误",
    L"Program error\0烧录错误",
    L"Show update message when start\0开启时提示更新",
    L"Clear Message\0清除消息框",
    L"Open Port\0开启串口",
    L"Close Port\0关闭串口",
    L"HEX file error\0HEX文件错误",
    L"The settings could not be saved to this file:\0无法将设置保存到此文件：",
    L"The ISP library could not be used.\0无法使用ISP库。",
    L"Missing: \0缺少：",
    L"This file is there but could not be loaded as a 32-bit library:\0此文件存在，但无法作为32位库加载：",
    L"File format error\0文件格式错误",
    L"Save File\0保存文件",
    L"Save file error\0保存文件失败",
    L"Save Flash buffer as...\0保存Flash缓冲区...",
    L"Save EEPROM buffer as...\0保存EEPROM缓冲区...",
};

const wchar_t* const UiTextFiles[kUiTextFilesCount] = {
    L"Intel Hex/Binary (*.hex; *.bin)\0Intel Hex/二进制文件 (*.hex; *.bin)",
    L"Motorola S-record (*.s19; *.s28; *.s37; *.srec; *.mot)\0Motorola S-record 文件 (*.s19; *.s28; *.s37; *.srec; "
    L"*.mot)",
    L"ELF (*.elf; *.axf; *.out)\0ELF 文件 (*.elf; *.axf; *.out)",
    L"All Files (*.*)\0所有文件 (*.*)",
    L"Intel Hex (*.hex; *.ihx)\0Intel Hex 文件 (*.hex; *.ihx)",
    L"Binary (*.bin)\0二进制文件 (*.bin)",
    L"Tarvel project (*.tarvel)\0Tarvel 项目 (*.tarvel)",
    L"Open project...\0打开项目...",
    L"Save project as...\0项目另存为...",
    L"Unlock project...\0解锁项目...",
    L"Open project\0打开项目",
    L"Save project\0保存项目",
    L"Unlock project\0解锁项目",
    L"Lock the project with a password?\n\nA locked project lets the operator program targets, but not change the "
    L"part, the rates, the options or the files, until it is unlocked with the password."
    L"\0是否用密码锁定项目？\n\n锁定的项目只允许操作员烧录芯片，在以密码解锁之前不能更改芯片型号、波特率、选项或文件。",
    L"Password :\0密码 :",
    L"Password again :\0再次输入密码 :",
    L"The two passwords differ.\0两次输入的密码不一致。",
    L"Enter a password.\0请输入密码。",
    L"Wrong password\0密码错误",
    L"part: %1 is not a part of the library\0part: 库中没有芯片 %1",
    L"part: %1 is listed under no family\0part: 芯片 %1 不属于任何系列",
    L"%1: %2 is not offered for %3\0%1: %3 不提供 %2",
    L"option_bits: bit %1 is not an option of %2\0option_bits: 位 %1 不是 %2 的选项",
    L"eeprom: %1 has no EEPROM\0eeprom: %1 没有EEPROM",
    L"The composed %1 image (CRC-32 %2) is not the one the project was saved with (%3)"
    L"\0合成的%1映像 (CRC-32 %2) 与项目保存时的映像 (%3) 不同",
    L"The port is open for another part: close it before changing to %1\0串口已为其他芯片开启：请先关闭串口再切换到 %1",
    L"The Flash buffer holds no file: load one first\0Flash缓冲区没有文件：请先打开文件",
    L"The %1 buffer was edited by hand: a project describes the buffers by their files"
    L"\0%1缓冲区已被手动修改：项目只能以文件描述缓冲区",
    L"The %1 buffer holds what Dump Info read: a project describes the buffers by their files"
    L"\0%1缓冲区中是读取芯片信息的结果：项目只能以文件描述缓冲区",
    L"The %1 buffer is no longer what its files give (a file changed after it was loaded): load the files again"
    L"\0%1缓冲区已与其文件不符（文件在打开后被修改）：请重新打开文件",
    L"%1 cannot be read (%2)\0无法读取 %1 (%2)",
    L"The project's checksum step cannot run on this part: %1\0项目的校验和步骤不适用于此芯片：%1",
};

const wchar_t* LangText(const wchar_t* pair, int language) {
    if (pair == nullptr) return L"";
    return PickLanguage(pair, pair + std::wcslen(pair) + 1, language);
}

const wchar_t* LangText(texts::TextId id, int language) {
    if (id >= 0 && id < kUiTextCount) return LangText(UiText[id], language);
    if (id >= texts::kFileTextBase && id < texts::kFileTextEnd)
        return LangText(UiTextFiles[id - texts::kFileTextBase], language);
    return L"";
}

std::wstring FillText(const wchar_t* pattern, std::initializer_list<std::wstring> values) {
    std::wstring text;
    for (const wchar_t* p = pattern; *p; ++p) {
        const std::size_t n = p[0] == L'%' && p[1] >= L'1' && p[1] <= L'9' ? static_cast<std::size_t>(p[1] - L'1') : 9;
        if (n < values.size()) {
            text += values.begin()[n];
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

const wchar_t* const FamilyNames[kFamilyNameCount] = {
    L"KV Series",     L"T40 Series",    L"T30 Series",    L"T20 Series",    L"T10 Series",
    L"T10 A1 Series", L"T10 A2 Series", L"T10 A3 Series", L"T10 A4 Series", L"T10 A5 Series",
    L"T10 B2 Series", L"T10 B4 Series", L"T10 B9 Series", L"HX Series",
};

const wchar_t* FamilyName(unsigned bit) { return bit < kFamilyNameCount ? FamilyNames[bit] : nullptr; }
