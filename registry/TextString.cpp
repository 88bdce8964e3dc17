#include "registry/TextString.h"

#include <cstring>
#include <new>

bool TextString::Join(const char* head, std::size_t headLength, const char* tail,
                      std::size_t tailLength) {
    std::size_t length = headLength + tailLength;
    if (length < headLength || length + 1 == 0) return false;
    char* text = new (std::nothrow) char[length + 1];
    if (!text) return false;
    if (headLength) std::memcpy(text, head, headLength);
    if (tailLength) std::memcpy(text + headLength, tail, tailLength);
    text[length] = '\0';
    delete[] text_;
    text_ = text;
    length_ = length;
    return true;
}

bool TextString::Assign(const char* text, std::size_t length) { return Join(text, length, 0, 0); }

bool TextString::Assign(const char* text) { return Assign(text, std::strlen(text)); }

bool TextString::Append(const char* text) {
    return Join(text_, length_, text, std::strlen(text));
}

bool TextString::Append(char c) { return Join(text_, length_, &c, 1); }

void TextString::Swap(TextString& other) {
    char* text = text_;
    std::size_t length = length_;
    text_ = other.text_;
    length_ = other.length_;
    other.text_ = text;
    other.length_ = length;
}
