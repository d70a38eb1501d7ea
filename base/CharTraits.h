#ifndef QV_BASE_CHARTRAITS_H
#define QV_BASE_CHARTRAITS_H

#include <cstddef>
#include <cstring>

// The byte operations SString is built on. Ordering with lt is signed (char as it is);
// compare orders bytes as unsigned values, like memcmp.
struct CharTraits {
    typedef char char_type;
    typedef int int_type;

    static void assign(char& to, const char& from) { to = from; }
    static char* assign(char* to, std::size_t n, char c) {
        return n == 0 ? to : static_cast<char*>(std::memset(to, c, n));
    }
    static bool eq(char a, char b) { return a == b; }
    static bool lt(char a, char b) { return a < b; }
    static int compare(const char* a, const char* b, std::size_t n) {
        return n == 0 ? 0 : std::memcmp(a, b, n);
    }
    static std::size_t length(const char* s) { return std::strlen(s); }
    // Non-overlapping copy.
    static char* copy(char* to, const char* from, std::size_t n) {
        return n == 0 ? to : static_cast<char*>(std::memcpy(to, from, n));
    }
    // Overlap-safe copy.
    static char* move(char* to, const char* from, std::size_t n) {
        return n == 0 ? to : static_cast<char*>(std::memmove(to, from, n));
    }
    // First occurrence of c among the n bytes at s, or null.
    static const char* find(const char* s, std::size_t n, char c) {
        return n == 0 ? nullptr : static_cast<const char*>(std::memchr(s, c, n));
    }
    static char to_char_type(int_type i) { return static_cast<char>(i); }
    static int_type to_int_type(char c) { return static_cast<unsigned char>(c); }
    static bool eq_int_type(int_type a, int_type b) { return a == b; }
    static int_type eof() { return static_cast<char>(-1); }
    static int_type not_eof(int_type i) { return i == eof() ? 0 : i; }
};

#endif  // QV_BASE_CHARTRAITS_H
