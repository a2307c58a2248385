// The tool's own texts in English and Simplified Chinese, and the fixed
// family names. Window-free.
//
// A text pair is one wide string constant: the English text, a NUL, the
// Chinese text and the final NUL. The English half is the string itself; the
// Chinese half starts right after the English half's terminating NUL.
#pragma once

#include <initializer_list>
#include <string>

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

    // The file dialogs' type names and project files: a block of their own,
    // in UiTextFiles, from kFileTextBase on.
    kFileTextBase = 1000,
    kFilterHexBinary = kFileTextBase,  // "Intel Hex/Binary (*.hex; *.bin)"
    kFilterSRecord,
    kFilterElf,
    kFilterAllFiles,
    kFilterIntelHex,
    kFilterBinary,
    kFilterProject,
    kOpenProjectMenu,  // system menu items
    kSaveProjectAsMenu,
    kUnlockProjectMenu,
    kOpenProject,  // log operations
    kSaveProject,
    kUnlockProject,
    kLockQuestion,
    kPassword,
    kPasswordAgain,
    kPasswordsDiffer,
    kPasswordEmpty,
    kWrongPassword,
    kPartNotInLibrary,   // %1 part
    kPartNotListed,      // %1 part
    kRateNotOffered,     // %1 field, %2 rate, %3 port
    kOptionNotShown,     // %1 bit, %2 part
    kNoEepromInPart,     // %1 part
    kImageMismatch,      // %1 buffer, %2 CRC-32 composed, %3 CRC-32 saved
    kPortOpenOtherPart,  // %1 part
    kNoFlashFile,
    kEditedByHand,        // %1 buffer
    kReadBackInBuffer,    // %1 buffer
    kBufferNotFromFiles,  // %1 buffer
    kFileNotMeasured,     // %1 file, %2 why
    kChecksumRefused,     // %1 why
    kFileTextEnd
};

}  // namespace texts

constexpr int kUiTextCount = 68;

// All text pairs, indexed by texts::TextId.
extern const wchar_t* const UiText[kUiTextCount];

// The pairs of the block from texts::kFileTextBase, in its order.
constexpr int kUiTextFilesCount = texts::kFileTextEnd - texts::kFileTextBase;
extern const wchar_t* const UiTextFiles[kUiTextFilesCount];

// Language 0 is English; any other value is Chinese.
inline const wchar_t* PickLanguage(const wchar_t* english, const wchar_t* chinese, int language) {
    return language == 0 ? english : chinese;
}

// The English half for language 0, the Chinese half for any other value.
// A null pair gives an empty text.
const wchar_t* LangText(const wchar_t* pair, int language);

// The same for a pair of UiText or UiTextFiles; an id outside both gives an
// empty text.
const wchar_t* LangText(texts::TextId id, int language);

// A text with its "%1" to "%9" replaced by the values given, in order; a
// number without a value stays as it is.
std::wstring FillText(const wchar_t* pattern, std::initializer_list<std::wstring> values);

// Names of the device families, indexed by the bit number in a part's family
// mask. They are the same in both languages.
constexpr unsigned kFamilyNameCount = 14;
extern const wchar_t* const FamilyNames[kFamilyNameCount];

// The name of family bit `bit`, or nullptr for a bit without a name.
const wchar_t* FamilyName(unsigned bit);
