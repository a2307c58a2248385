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

const wchar_t* LangText(const wchar_t* pair, int language) {
    if (pair == nullptr) return L"";
    return PickLanguage(pair, pair + std::wcslen(pair) + 1, language);
}

const wchar_t* LangText(texts::TextId id, int language) {
    if (id < 0 || id >= kUiTextCount) return L"";
    return LangText(UiText[id], language);
}

const wchar_t* const FamilyNames[kFamilyNameCount] = {
    L"KV Series",     L"T40 Series",    L"T30 Series",    L"T20 Series",    L"T10 Series",
    L"T10 A1 Series", L"T10 A2 Series", L"T10 A3 Series", L"T10 A4 Series", L"T10 A5 Series",
    L"T10 B2 Series", L"T10 B4 Series", L"T10 B9 Series", L"HX Series",
};

const wchar_t* FamilyName(unsigned bit) { return bit < kFamilyNameCount ? FamilyNames[bit] : nullptr; }
