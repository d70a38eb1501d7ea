#ifndef QV_BASE_STRINGDEQUE_H
#define QV_BASE_STRINGDEQUE_H

#include "base/GenericDeque.h"
#include "base/SString.h"

// Entry of a StringDeque: owns one heap SString.
class SStringPtrDE : public DequeEntry {
public:
    explicit SStringPtrDE(SString* value) : m_value(value) {}
    ~SStringPtrDE() override { delete m_value; }

    SString* m_value;
};

// A list of strings stored by value (each element shares its buffer with the string it was
// copied from). A bad index yields the static empty string, never an exception.
class StringDeque : public GenericDeque {
public:
    // Returned for a bad index; anything written into it is dropped on its next use.
    static SString emptyString;

    SString& at(long i);
    const SString& at(long i) const;
    SString& back() { return at(m_count - 1); }
    // at() gives a stored element or emptyString, never a temporary.
    // cppcheck-suppress returnTempReference
    const SString& back() const { return at(m_count - 1); }

    void push_back(const SString& value);
    // Stores a copy at i (shifting the rest) when i < 0 or i < size(); otherwise nothing.
    void insert(long i, const SString& value);
};

#endif  // QV_BASE_STRINGDEQUE_H
