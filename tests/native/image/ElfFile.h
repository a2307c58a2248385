// ELF files built in tests: the header and program headers as given, the
// segments' bytes laid in by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace elftest {

using Bytes = std::vector<std::uint8_t>;

struct Seg {
    std::uint32_t type;
    std::uint64_t offset, vaddr, paddr, filesz, memsz;
};

inline void PutN(Bytes& f, std::size_t at, std::uint64_t v, unsigned n, bool big) {
    if (f.size() < at + n) f.resize(at + n, 0);
    for (unsigned i = 0; i < n; ++i) f[at + (big ? n - 1 - i : i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// An ELF executable with the given program headers right after the ELF header;
// the caller lays the segments' bytes in.
inline Bytes MakeElf(bool wide, bool big, const std::vector<Seg>& segs, std::size_t length) {
    Bytes f(length, 0);
    const unsigned w = wide ? 8 : 4;
    const std::size_t eh = wide ? 64 : 52, ph = wide ? 56 : 32;
    f[0] = 0x7F, f[1] = 'E', f[2] = 'L', f[3] = 'F', f[4] = wide ? 2 : 1, f[5] = big ? 2 : 1, f[6] = 1;
    PutN(f, 16, 2, 2, big);  // ET_EXEC
    PutN(f, wide ? 32 : 28, eh, w, big);
    PutN(f, wide ? 54 : 42, ph, 2, big);
    PutN(f, wide ? 56 : 44, segs.size(), 2, big);
    for (std::size_t i = 0; i < segs.size(); ++i) {
        const std::size_t at = eh + i * ph;
        const Seg& s = segs[i];
        PutN(f, at, s.type, 4, big);
        if (wide) {
            PutN(f, at + 8, s.offset, 8, big);
            PutN(f, at + 16, s.vaddr, 8, big);
            PutN(f, at + 24, s.paddr, 8, big);
            PutN(f, at + 32, s.filesz, 8, big);
            PutN(f, at + 40, s.memsz, 8, big);
        } else {
            PutN(f, at + 4, s.offset, 4, big);
            PutN(f, at + 8, s.vaddr, 4, big);
            PutN(f, at + 12, s.paddr, 4, big);
            PutN(f, at + 16, s.filesz, 4, big);
            PutN(f, at + 20, s.memsz, 4, big);
        }
    }
    if (f.size() < length) f.resize(length, 0);
    return f;
}

}  // namespace elftest
