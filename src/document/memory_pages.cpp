#include "memory_pages.h"

#include <cstdint>
#include <cstdlib>
#include <pugixml.hpp>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace korvane {

void prefault(void* begin, std::size_t size) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    if (!begin || size == 0) return;
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    // From the start of the page begin lies in: that page is mapped, and
    // bringing in a page changes nothing of what it holds. Kernels older
    // than 5.14 refuse the call; the pages then come one fault at a time.
    const auto first = reinterpret_cast<std::uintptr_t>(begin) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(begin) + size;
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
    (void)begin;
    (void)size;
#endif
}

namespace {

// The parser's node pages are 32 KB; smaller blocks are mostly in pages
// already in use.
constexpr std::size_t kPrefaultFrom = 16 * 1024;

void* allocatePrefaulted(std::size_t size) {
    void* block = std::malloc(size);
    if (size >= kPrefaultFrom) prefault(block, size);
    return block;
}

}  // namespace

void prefaultXmlMemory() { pugi::set_memory_management_functions(allocatePrefaulted, std::free); }

}  // namespace korvane
