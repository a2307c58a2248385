// How a code buffer was last filled, and what a load does to that record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace image {

enum class LoadState : std::int32_t { Empty = 0, OneFile = 1, MixedFile = 2, ReadBack = 3 };

// Bookkeeping of one code buffer (index 0 Flash, 1 EEPROM).
struct BufferSlot {
    image::LoadState LoadState = image::LoadState::Empty;
    std::wstring FilePath;  // full path of the last file loaded; empty when none
    std::wstring FileExt;   // its extension without the dot, upper-cased
};

// Where the loader places an image; shared by both buffers, set by the
// insert-area dialog's OK.
struct InsertSettings {
    std::uint32_t InsertOffset = 0;
    std::int32_t ClearFirst = 0;  // 1: the next user load starts from an empty buffer
};

// What a load that succeeds does, decided from the slot before it.
struct LoadPlan {
    bool merge = false;      // lay the image over the buffer's current content
    bool mixedText = false;  // the path box shows "%s (Mixed file)"
    LoadState stateAfter = LoadState::OneFile;
};

// A user load honours ClearFirst (the slot counts as Empty); a reload ignores
// it and keeps the slot's state. A load into OneFile or MixedFile merges.
LoadPlan PlanLoad(LoadState current, bool reloading, bool clearFirst);

// The text of the page's path box.
std::wstring PathText(std::wstring_view path, bool mixed);

// The slot after a successful load. A reload keeps the slot's file; a user load
// stores the new path and its upper-cased extension.
BufferSlot SlotAfterLoad(const BufferSlot& before, const LoadPlan& plan, bool reloading, std::wstring_view newPath);

// Dump Info success and part change both forget the file.
BufferSlot SlotAfterReadBack();
BufferSlot SlotAfterPartChange();

// The extension of a path without the dot, ASCII letters upper-cased; empty
// when the file name has no dot.
std::wstring UpperExtension(std::wstring_view path);

// The loader parses a file as Intel HEX exactly when its extension is "HEX"
// in any letter case; every other file is raw binary.
bool IsHexExtension(std::wstring_view upperExt);

}  // namespace image
