#ifndef QV_JVM_STRINGPAIR_H
#define QV_JVM_STRINGPAIR_H

#include "base/PtrDeque.h"
#include "base/SString.h"

// A name and the value expected for it, such as one JVM_PROPERTIES setting.
struct StringPair {
    StringPair(const SString& name, const SString& value) : m_name(name), m_value(value) {}

    SString m_name;
    SString m_value;
};

typedef PtrDE<StringPair> StringPairPtrDE;
typedef PtrDeque<StringPair> StringPairPtrDeque;

#endif  // QV_JVM_STRINGPAIR_H
