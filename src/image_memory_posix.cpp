#include <sys/mman.h>

#include "image_memory.h"

namespace {

// Only whole huge pages inside the block can be backed by them.
constexpr std::uintptr_t kHugePageSize = std::uintptr_t{2} << 20;

}  // namespace

void advise_large_image(std::uint8_t* bytes, std::size_t size) {
#ifdef MADV_HUGEPAGE
    const auto start =
        (reinterpret_cast<std::uintptr_t>(bytes) + kHugePageSize - 1) & ~(kHugePageSize - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(bytes) + size) & ~(kHugePageSize - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)bytes;
    (void)size;
#endif
}
