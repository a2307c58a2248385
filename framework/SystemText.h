// The system's own words for an error code.
#pragma once

#include <string>

// FormatMessage's text for a GetLastError code on one line: line breaks
// become spaces, no blanks at the end. Empty when the system has no text for
// the code.
std::wstring SystemMessageLine(unsigned long error);

// The same for a message to the user: the first insert ("%1", the file in
// the loader's messages) reads `insert`; "Error <code>" when the system has
// no text for the code, and an empty text for code 0.
std::wstring SystemErrorText(unsigned long error, const std::wstring& insert);
