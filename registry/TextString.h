// A growable narrow text with its terminator, on the heap. Never throws: an
// operation that runs out of memory returns false and leaves the text as it was.
#pragma once

#include <cstddef>

class TextString {
public:
    TextString() : text_(0), length_(0) {}
    ~TextString() { delete[] text_; }

    const char* CStr() const { return text_ ? text_ : ""; }
    std::size_t Length() const { return length_; }

    // The first length characters of text (which need no terminator).
    bool Assign(const char* text, std::size_t length);
    bool Assign(const char* text);
    bool Append(const char* text);
    bool Append(char c);
    void Swap(TextString& other);

private:
    TextString(const TextString&);
    TextString& operator=(const TextString&);

    bool Join(const char* head, std::size_t headLength, const char* tail, std::size_t tailLength);

    char* text_;
    std::size_t length_;
};
