#pragma once
// Large native buffers (a converted million-element list is 8 MB) would
// otherwise be faulted in 4 KB page by page on every call; asking for
// transparent huge pages makes that a handful of faults where the kernel
// allows it. Purely advisory: nothing changes if it is refused.
#include <cstddef>

namespace zyl {

// Advises huge pages for the whole 2 MB-aligned part of [data, data + bytes)
// when the range is large enough to hold some; call before first touching it.
void advise_huge_pages(void* data, std::size_t bytes);

}  // namespace zyl
