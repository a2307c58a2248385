// The tool's own texts in English and Simplified Chinese, and the fixed
// family names. Window-free.
//
// A text pair is one wide string constant: the English text, a NUL, the
// Chinese text and the final NUL. The English half is the string itself; the
// Chinese half starts right after the English half's terminating NUL.
#pragma once

namespace texts {

// Index of each pair in UiText.
enum TextId : int {
    kMakerName = 0,
    kProductName,
    kCheck,
    kDownload,
    kCantConnectServer,
    kServerInfoError,
    kAlreadyLatestVersion,
    kHaveNewVersion,
    kClickDownloadToUpdate,
    kMcuType,
    kComPortSetting,  // 10
    kDownloadSetting,
    kMcuOptions,
    kMessage,
    kCodeBuffer,
    kPartNo,
    kPortNo,
    kBaudrate,
    kCheckrate,
    kFileSize,
    kCheckSum,  // 20
    kAutoReloadCode,
    kEraseByFileSize,
    kRstnColdReset,
    kEnableModifyBuffer,
    kUpdateTarget,
    kRepeatUpdate,
    kDumpInfo,
    kLoadFile,
    kAssistant,
    kExit,  // 30
    kSelectInsertArea,
    kAreaAp,
    kAreaIap,
    kAddress,
    kClearBuffer,
    kOk,
    kCancel,
    kPass,
    kFail,
    kStop,  // 40
    kOpenFileError,
    kFileTooLarge,
    kOpenComError,
    kRepowerPrompt,
    kNotFindDevice,
    kCustomerIdError,
    kDeviceIdError,
    kBaudRateTooLarge,
    kSetSyncError,
    kWriteOrError,  // 50
    kEraseError,
    kRegisterError,
    kProgramError,
    kShowUpdateMessage,
    kClearMessage,
    kOpenPort,
    kClosePort,
    kHexFileError,  // 58
    kSettingsNotSaved,
    kLibraryUnusable,  // 60
    kLibraryMissing,
    kLibraryNotLoadable,
    kFileFormatError,
    kSaveFile,
    kSaveFileError,
    kSaveFlashBufferAs,
    kSaveEepromBufferAs,
};

}  // namespace texts

constexpr int kUiTextCount = 68;

// All text pairs, indexed by texts::TextId.
extern const wchar_t* const UiText[kUiTextCount];

// Language 0 is English; any other value is Chinese.
inline const wchar_t* PickLanguage(const wchar_t* english, const wchar_t* chinese, int language) {
    return language == 0 ? english : chinese;
}

// The English half for language 0, the Chinese half for any other value.
// A null pair gives an empty text.
const wchar_t* LangText(const wchar_t* pair, int language);

// The same for a pair of UiText; an id outside the table gives an empty text.
const wchar_t* LangText(texts::TextId id, int language);

// Names of the device families, indexed by the bit number in a part's family
// mask. They are the same in both languages.
constexpr unsigned kFamilyNameCount = 14;
extern const wchar_t* const FamilyNames[kFamilyNameCount];

// The name of family bit `bit`, or nullptr for a bit without a name.
const wchar_t* FamilyName(unsigned bit);
