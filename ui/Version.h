// The program's version, for the version record, the usage text and the
// release's name; the commit comes from the build (Commit.h).
#pragma once

#define LUMIVALE_VERSION_NUMBERS 1, 0, 0, 1
#define LUMIVALE_VERSION_TEXT "1.0.0.1"
