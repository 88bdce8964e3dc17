// What the compiler expects of a C and C++ runtime, for a program that links
// neither: Debian's mingw-w64 runtime is built for newer processors than XP
// runs on, and the program needs only this much of it. Compiled with
// -ffreestanding -fno-builtin, so that these loops are not turned back into
// calls to themselves. Memory comes from the process heap.
#include <windows.h>

#include <cstddef>
#include <new>

extern "C" {

void* memset(void* target, int value, std::size_t count) {
    unsigned char* p = static_cast<unsigned char*>(target);
    while (count--) *p++ = static_cast<unsigned char>(value);
    return target;
}

void* memcpy(void* target, const void* source, std::size_t count) {
    unsigned char* to = static_cast<unsigned char*>(target);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    while (count--) *to++ = *from++;
    return target;
}

void* memmove(void* target, const void* source, std::size_t count) {
    unsigned char* to = static_cast<unsigned char*>(target);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    if (to <= from || to >= from + count) return memcpy(target, source, count);
    while (count--) to[count] = from[count];
    return target;
}

int memcmp(const void* left, const void* right, std::size_t count) {
    const unsigned char* a = static_cast<const unsigned char*>(left);
    const unsigned char* b = static_cast<const unsigned char*>(right);
    for (; count; --count, ++a, ++b)
        if (*a != *b) return *a - *b;
    return 0;
}

void* memchr(const void* text, int c, std::size_t count) {
    const unsigned char* p = static_cast<const unsigned char*>(text);
    for (; count; --count, ++p)
        if (*p == static_cast<unsigned char>(c)) return const_cast<unsigned char*>(p);
    return 0;
}

std::size_t strlen(const char* text) {
    const char* end = text;
    while (*end) ++end;
    return static_cast<std::size_t>(end - text);
}

std::size_t strnlen(const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length]) ++length;
    return length;
}

char* strcat(char* target, const char* source) {
    char* end = target + strlen(target);
    while ((*end++ = *source++) != 0) {
    }
    return target;
}

int strncmp(const char* left, const char* right, std::size_t count) {
    for (; count; --count, ++left, ++right) {
        unsigned char a = static_cast<unsigned char>(*left);
        unsigned char b = static_cast<unsigned char>(*right);
        if (a != b) return a - b;
        if (!a) return 0;
    }
    return 0;
}

char* strstr(const char* text, const char* wanted) {
    std::size_t length = strlen(wanted);
    for (; *text; ++text)
        if (strncmp(text, wanted, length) == 0) return const_cast<char*>(text);
    return length ? 0 : const_cast<char*>(text);
}

char* strpbrk(const char* text, const char* set) {
    for (; *text; ++text)
        for (const char* s = set; *s; ++s)
            if (*text == *s) return const_cast<char*>(text);
    return 0;
}

// Called through an abstract class's table if ever a pure function is reached.
void __cxa_pure_virtual() { ExitProcess(3); }

}  // extern "C"

namespace std {
const nothrow_t nothrow = nothrow_t();
}

namespace {

void* Allocate(std::size_t size) { return HeapAlloc(GetProcessHeap(), 0, size ? size : 1); }

void Release(void* block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
