#include "image/LoadState.h"

namespace image {

LoadPlan PlanLoad(LoadState current, bool reloading, bool clearFirst) {
    if (!reloading && clearFirst) current = LoadState::Empty;
    LoadPlan plan;
    switch (current) {
    case LoadState::OneFile:
        plan.merge = true;
        plan.mixedText = !reloading;
        plan.stateAfter = reloading ? LoadState::OneFile : LoadState::MixedFile;
        break;
    case LoadState::MixedFile:
        plan.merge = true;
        plan.mixedText = true;
        plan.stateAfter = LoadState::MixedFile;
        break;
    case LoadState::Empty:
    case LoadState::ReadBack:
    default: plan.stateAfter = LoadState::OneFile; break;
    }
    return plan;
}

std::wstring PathText(std::wstring_view path, bool mixed) {
    std::wstring text(path);
    if (mixed) text += L" (Mixed file)";
    return text;
}

BufferSlot SlotAfterLoad(const BufferSlot& before, const LoadPlan& plan, bool reloading, std::wstring_view newPath) {
    BufferSlot after = before;
    after.LoadState = plan.stateAfter;
    if (!reloading) {
        after.FilePath = std::wstring(newPath);
        after.FileExt = UpperExtension(newPath);
    }
    return after;
}

BufferSlot SlotAfterReadBack() {
    BufferSlot s;
    s.LoadState = LoadState::ReadBack;
    return s;
}

BufferSlot SlotAfterPartChange() { return BufferSlot{}; }

std::wstring UpperExtension(std::wstring_view path) {
    const std::size_t name = path.find_last_of(L"\\/:");
    const std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring_view::npos || (name != std::wstring_view::npos && dot < name)) return {};
    std::wstring ext(path.substr(dot + 1));
    for (wchar_t& c : ext)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return ext;
}

bool IsHexExtension(std::wstring_view upperExt) {
    if (upperExt.size() != 3) return false;
    for (std::size_t i = 0; i < 3; ++i) {
        wchar_t c = upperExt[i];
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        if (c != L"HEX"[i]) return false;
    }
    return true;
}

}  // namespace image
