#pragma once
// The one CRC-32 of the program: the data files' headers (battery/DatFile.h)
// and the preferences file check their contents with it.
#include <cstddef>
#include <cstdint>

// The standard CRC-32 (reflected, polynomial 0x04C11DB7, initial value and
// final xor 0xFFFFFFFF) of length bytes; 0 for a length of 0 or less.
uint32_t Crc32(const unsigned char* data, ptrdiff_t length);
