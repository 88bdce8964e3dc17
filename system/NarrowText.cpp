#include "system/NarrowText.h"

namespace narrow {

std::size_t CharLength(System& system, const char* text) {
    return text[0] && text[1] && system.IsLeadByte(static_cast<unsigned char>(text[0])) ? 2 : 1;
}

bool EndsInSeparator(System& system, const char* text, std::size_t length) {
    std::size_t last = 0, size = 0;
    for (std::size_t at = 0; at < length; at += size) {
        last = at;
        size = CharLength(system, text + at);
    }
    return size == 1 && last + 1 == length && text[last] == '\\';
}

}  // namespace narrow
