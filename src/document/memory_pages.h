#pragma once
// Memory that is filled as soon as it is taken (a file read whole, the XML
// parser's node pages) is brought in with one system call where the system
// offers one, instead of one page fault per page. On some machines, virtual
// ones above all, a fault costs far more than the bytes written into the
// page; a large library then opens noticeably faster.

#include <cstddef>

namespace korvane {

// Brings in the pages of [begin, begin + size) ready to be written, without
// changing what they hold. Does nothing where the system cannot.
void prefault(void* begin, std::size_t size);

// Has the XML parser take its memory through prefault(). Call once, before
// the first XML document is made (at the start of main); a program that
// does not call it works the same, only with a fault per page.
void prefaultXmlMemory();

}  // namespace korvane
