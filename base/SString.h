#ifndef QV_BASE_SSTRING_H
#define QV_BASE_SSTRING_H

#include <cstdint>

#include "base/CharTraits.h"

// Thrown when a requested size exceeds SString::max_size() or a result would reach npos.
class LengthException {};
// Thrown when a position lies beyond the end of a string.
class RangeException {};

// Throw LengthException and RangeException. The names are part of the launcher's design and are
// kept although they are reserved identifiers.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the design's name
[[noreturn]] void _Xlen();
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the design's name
[[noreturn]] void _Xran();

// The launcher's one string type: a byte string (no encoding assumed) with the familiar
// standard-string interface and a copy-on-write buffer.
//
// The buffer is one allocation of capacity + 2 bytes: a share byte, then capacity characters
// and a terminating NUL. The share byte counts the further strings that share the buffer
// (0 = one owner, 1..254 = shared) or marks it frozen (255): a frozen buffer was handed out
// through a writable reference and is copied, never shared, from then on. Every change first
// gives the string a private buffer. Positions and counts are unsigned 32-bit; a count that
// runs past the end is cut back to the end.
class SString {
public:
    typedef std::uint32_t size_type;
    static constexpr size_type npos = 4294967295u;

    SString() noexcept { tidy(); }
    SString(const SString& other);
    SString(const SString& other, size_type pos, size_type n);
    SString(const char* s, size_type n);
    // Implicit, as in the standard string interface: a literal stands wherever a string does.
    // cppcheck-suppress noExplicitConstructor
    SString(const char* s);
    SString(size_type n, char c);
    SString(SString&& other) noexcept;
    virtual ~SString();

    // assign() handles self-assignment: the string keeps its value and gets a private buffer.
    // NOLINTNEXTLINE(bugprone-unhandled-self-assignment,cert-oop54-cpp): assign() handles it
    SString& operator=(const SString& other) { return assign(other, 0, npos); }
    SString& operator=(SString&& other) noexcept;
    SString& operator=(const char* s) { return assign(s); }
    SString& operator=(char c) { return assign(1, c); }

    SString& operator+=(const SString& other) { return append(other, 0, npos); }
    SString& operator+=(const char* s) { return append(s); }
    SString& operator+=(char c) { return append(1, c); }

    SString& append(const SString& other) { return append(other, 0, npos); }
    SString& append(const SString& other, size_type pos, size_type n);
    SString& append(const char* s, size_type n);
    SString& append(const char* s) { return append(s, CharTraits::length(s)); }
    SString& append(size_type n, char c);

    SString& assign(const SString& other) { return assign(other, 0, npos); }
    SString& assign(const SString& other, size_type pos, size_type n);
    SString& assign(const char* s, size_type n);
    SString& assign(const char* s) { return assign(s, CharTraits::length(s)); }
    SString& assign(size_type n, char c);

    SString& insert(size_type pos, const SString& other) { return insert(pos, other, 0, npos); }
    SString& insert(size_type pos, const SString& other, size_type pos2, size_type n);
    SString& insert(size_type pos, const char* s, size_type n);
    SString& insert(size_type pos, const char* s) { return insert(pos, s, CharTraits::length(s)); }
    SString& insert(size_type pos, size_type n, char c);

    SString& replace(size_type pos, size_type n, const SString& other) {
        return replace(pos, n, other, 0, npos);
    }
    SString& replace(size_type pos, size_type n, const SString& other, size_type pos2, size_type m);
    SString& replace(size_type pos, size_type n, const char* s, size_type m);
    SString& replace(size_type pos, size_type n, const char* s) {
        return replace(pos, n, s, CharTraits::length(s));
    }
    SString& replace(size_type pos, size_type n, size_type m, char c);

    SString& erase(size_type pos = 0, size_type n = npos);

    // The writable forms freeze the buffer: the caller may change characters through the
    // reference, so the buffer can never be shared again.
    char& at(size_type i);
    const char& at(size_type i) const;
    char& operator[](size_type i);
    const char& operator[](size_type i) const;

    // Never null: a string without a buffer yields a static empty string.
    const char* c_str() const { return m_ptr == nullptr ? nullString() : m_ptr; }
    const char* data() const { return c_str(); }
    size_type length() const { return m_len; }
    size_type size() const { return m_len; }
    size_type max_size() const { return npos - 2; }
    size_type capacity() const { return m_res; }
    bool empty() const { return m_len == 0; }

    void resize(size_type n, char c);
    void resize(size_type n) { resize(n, '\0'); }
    void reserve(size_type n = 0);

    // Copies at most n bytes from pos into dest without a terminator; returns the count.
    size_type copy(char* dest, size_type n, size_type pos = 0) const;

    size_type find(const SString& s, size_type pos = 0) const {
        return find(s.c_str(), pos, s.size());
    }
    size_type find(const char* s, size_type pos, size_type n) const;
    size_type find(const char* s, size_type pos = 0) const {
        return find(s, pos, CharTraits::length(s));
    }
    size_type find(char c, size_type pos = 0) const { return find(&c, pos, 1); }

    size_type rfind(const SString& s, size_type pos = npos) const {
        return rfind(s.c_str(), pos, s.size());
    }
    size_type rfind(const char* s, size_type pos, size_type n) const;
    size_type rfind(const char* s, size_type pos = npos) const {
        return rfind(s, pos, CharTraits::length(s));
    }
    size_type rfind(char c, size_type pos = npos) const { return rfind(&c, pos, 1); }

    size_type find_first_of(const SString& s, size_type pos = 0) const {
        return find_first_of(s.c_str(), pos, s.size());
    }
    size_type find_first_of(const char* s, size_type pos, size_type n) const;
    size_type find_first_of(const char* s, size_type pos = 0) const {
        return find_first_of(s, pos, CharTraits::length(s));
    }
    size_type find_first_of(char c, size_type pos = 0) const { return find(c, pos); }

    size_type find_last_of(const SString& s, size_type pos = npos) const {
        return find_last_of(s.c_str(), pos, s.size());
    }
    size_type find_last_of(const char* s, size_type pos, size_type n) const;
    size_type find_last_of(const char* s, size_type pos = npos) const {
        return find_last_of(s, pos, CharTraits::length(s));
    }
    size_type find_last_of(char c, size_type pos = npos) const { return rfind(c, pos); }

    size_type find_first_not_of(const SString& s, size_type pos = 0) const {
        return find_first_not_of(s.c_str(), pos, s.size());
    }
    size_type find_first_not_of(const char* s, size_type pos, size_type n) const;
    size_type find_first_not_of(const char* s, size_type pos = 0) const {
        return find_first_not_of(s, pos, CharTraits::length(s));
    }
    size_type find_first_not_of(char c, size_type pos = 0) const {
        return find_first_not_of(&c, pos, 1);
    }

    size_type find_last_not_of(const SString& s, size_type pos = npos) const {
        return find_last_not_of(s.c_str(), pos, s.size());
    }
    size_type find_last_not_of(const char* s, size_type pos, size_type n) const;
    size_type find_last_not_of(const char* s, size_type pos = npos) const {
        return find_last_not_of(s, pos, CharTraits::length(s));
    }
    size_type find_last_not_of(char c, size_type pos = npos) const {
        return find_last_not_of(&c, pos, 1);
    }

    SString substr(size_type pos = 0, size_type n = npos) const { return SString(*this, pos, n); }

    // Unsigned bytewise comparison; on equal prefixes the shorter operand is less (-1).
    int compare(const SString& s) const { return compare(0, m_len, s.c_str(), s.size()); }
    int compare(size_type pos, size_type n, const SString& s) const {
        return compare(pos, n, s, 0, npos);
    }
    int compare(size_type pos, size_type n, const SString& s, size_type pos2, size_type m) const;
    int compare(const char* s) const { return compare(0, m_len, s, CharTraits::length(s)); }
    int compare(size_type pos, size_type n, const char* s) const {
        return compare(pos, n, s, CharTraits::length(s));
    }
    int compare(size_type pos, size_type n, const char* s, size_type m) const;

private:
    static const unsigned char kFrozen = 255;

    static char* nullString();
    unsigned char& shareByte() const { return reinterpret_cast<unsigned char*>(m_ptr)[-1]; }
    bool isShared() const;
    bool aliases(const char* s) const;

    // Makes room for n characters, taking a private buffer first when shared. With trim (an
    // assignment), an oversized buffer is released. Returns false when n is 0 and the string
    // was emptied, true when the caller may write n characters.
    bool grow(size_type n, bool trim = false);
    // Moves the string into a fresh private buffer sized for n characters.
    void copyTo(size_type n);
    void setEnd(size_type n);
    void freeze();
    void split();
    // Releases the buffer when built is true, then leaves the string without one.
    void tidy(bool built = false) noexcept;

    char* m_ptr;
    size_type m_len;
    size_type m_res;
};

#endif  // QV_BASE_SSTRING_H
