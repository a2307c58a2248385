// The words of a file load's result, the same in the window's log and in the
// console programmer's messages. Window-free.
#pragma once

#include "image/FileLoad.h"
#include "text/UiText.h"

// "Pass", "Open file error" (the file could not be opened or read),
// "File is too large !", "HEX file error" or "File format error".
inline texts::TextId LoadResultText(image::FileLoadStatus status) {
    switch (status) {
    case image::FileLoadStatus::Ok: return texts::kPass;
    case image::FileLoadStatus::OpenError:
    case image::FileLoadStatus::ReadError: return texts::kOpenFileError;
    case image::FileLoadStatus::TooLarge: return texts::kFileTooLarge;
    case image::FileLoadStatus::HexError: return texts::kHexFileError;
    case image::FileLoadStatus::FormatError: return texts::kFileFormatError;
    }
    return texts::kOpenFileError;
}
