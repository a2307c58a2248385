// ELF (32- or 64-bit, either byte order): telling it by its identification
// and reading it into a flat memory image. A buffer is never written as ELF.
//
// The image is made of the loadable segments with file content (PT_LOAD,
// p_filesz > 0), each at its physical address p_paddr, the way a programmer
// burns the load image a linker wrote: initialised data sits at its load
// address in Flash, not where the start-up code copies it to. Memory a segment
// reserves beyond its file content (.bss) is not part of the image. As with
// the text formats the image starts at address 0 and gaps read 0xFF.
//
// Malformed: no ELF identification, a header, program header table or segment
// that reaches past the end of the file, a table entry smaller than a program
// header, segments that overlap, a segment past the 32-bit address space, or
// no segment with file content at all.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/ImageResult.h"

namespace image {

// True when the bytes start with the ELF identification: what makes a file
// ELF by its content.
bool HasElfMagic(const std::uint8_t* bytes, std::size_t length);

// The length above which a file is refused before it is read: the image
// itself may take 16 bytes of file a byte, and symbols and debugging data a
// generous allowance beside it.
std::uint64_t ElfReadLimit(std::uint64_t roomLeft);

// A file read by what it loads: the header, the program headers, then only
// each loadable segment's bytes, read straight into their place in the image.
class ElfFile {
public:
    virtual ~ElfFile() = default;
    // Reads up to count bytes at offset; got is less than count only where
    // the file ends first. False on a read error.
    virtual bool ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t count, std::size_t& got) = 0;
};

// The image of an ELF file of `length` bytes, every offset and size checked
// against that length before it is read; a file that turns out shorter is
// Malformed. roomLeft as for IntelHexStream: an image ending beyond it gives
// TooLarge before anything is allocated for it. *readFailed is set when a
// read failed (the result is then Malformed and says nothing of the file).
ImageResult ParseElf(ElfFile& file, std::uint64_t length, std::uint64_t roomLeft, bool* readFailed);

// The same for a file held in memory.
ImageResult ParseElf(const std::uint8_t* bytes, std::size_t length, std::uint64_t roomLeft);

}  // namespace image
