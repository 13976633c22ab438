#include "image_memory.h"

// Large pages on Windows need a privilege that ordinary users lack; the hint is
// not worth asking for it.
void advise_large_image(std::uint8_t*, std::size_t) {}
