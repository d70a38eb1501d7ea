#include "base/StringDeque.h"

SString StringDeque::emptyString;

namespace {

SString& resetEmpty() {
    if (!StringDeque::emptyString.empty()) {
        StringDeque::emptyString.erase();
    }
    return StringDeque::emptyString;
}

}  // namespace

SString& StringDeque::at(long i) {
    DequeEntry* entry = GenericDeque::at(i);
    return entry == nullptr ? resetEmpty() : *static_cast<SStringPtrDE*>(entry)->m_value;
}

const SString& StringDeque::at(long i) const {
    const DequeEntry* entry = GenericDeque::at(i);
    return entry == nullptr ? emptyString : *static_cast<const SStringPtrDE*>(entry)->m_value;
}

void StringDeque::push_back(const SString& value) {
    GenericDeque::insert(-1, new SStringPtrDE(new SString(value)));
}

void StringDeque::insert(long i, const SString& value) {
    if (i >= m_count) {
        return;
    }
    GenericDeque::insert(i, new SStringPtrDE(new SString(value)));
}
