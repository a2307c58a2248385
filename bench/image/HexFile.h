// Reads a whole file into memory, sized exactly, as the loader does.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

inline bool ReadWholeFile(const char* path, std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    bytes.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    const bool ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    std::fclose(f);
    return ok;
}
