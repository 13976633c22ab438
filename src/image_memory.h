// Platform hints for the memory that holds a whole file. One source file per
// platform implements them (image_memory_posix.cpp, image_memory_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

// Asks the system to back a large image with huge pages where it can: reading a
// big file into fresh memory otherwise costs one page fault per 4 KiB. Only a
// hint; does nothing where the system has no such thing.
void advise_large_image(std::uint8_t* bytes, std::size_t size);
