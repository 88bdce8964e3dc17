// Narrow texts and paths are in the system's ANSI code page. In the
// double-byte ones (932, 936, 949, 950) a lead byte and the byte after it are
// one character, and that second byte may be a backslash or an ASCII letter:
// such texts are read a character at a time, as CharNextA reads them.
#pragma once

#include <cstddef>

#include "system/System.h"

namespace narrow {

// Bytes in the character at text: 2 for a lead byte with a byte after it,
// else 1 (also for the terminator).
std::size_t CharLength(System& system, const char* text);
// Whether the first length bytes of text end in a backslash that is a
// character of its own.
bool EndsInSeparator(System& system, const char* text, std::size_t length);

}  // namespace narrow
