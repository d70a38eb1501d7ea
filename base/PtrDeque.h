#ifndef QV_BASE_PTRDEQUE_H
#define QV_BASE_PTRDEQUE_H

#include "base/GenericDeque.h"

// The typed-list pattern: PtrDE<T> owns one element pointer and deletes it; PtrDeque<T> wraps
// and unwraps such entries over GenericDeque. Each element type names its pair after itself,
// for example `typedef PtrDeque<TagFile> TagFilePtrDeque;`.
template <class T>
class PtrDE : public DequeEntry {
public:
    explicit PtrDE(T* element) : m_element(element) {}
    ~PtrDE() override { delete m_element; }

    T* m_element;
};

template <class T>
class PtrDeque : public GenericDeque {
public:
    typedef PtrDE<T> Entry;

    T* at(long i) { return element(GenericDeque::at(i)); }
    const T* at(long i) const { return element(GenericDeque::at(i)); }
    T* back() { return at(m_count - 1); }
    const T* back() const { return at(m_count - 1); }

    // Takes ownership of element.
    void push_back(const T* element) {
        GenericDeque::insert(-1, new Entry(const_cast<T*>(element)));
    }
    // Takes ownership of element only when it is stored (i < 0 or i < size()).
    void insert(long i, const T* element) {
        if (i >= m_count) {
            return;
        }
        GenericDeque::insert(i, new Entry(const_cast<T*>(element)));
    }

    // Deletes the elements for which dead(index, element) is true; see GenericDeque::eraseIf.
    template <class Predicate>
    void eraseIf(Predicate dead) {
        GenericDeque::eraseIf(
            [&dead](long i, const DequeEntry* entry) { return dead(i, element(entry)); });
    }

private:
    static T* element(const DequeEntry* entry) {
        return entry == nullptr ? nullptr : static_cast<const Entry*>(entry)->m_element;
    }
};

#endif  // QV_BASE_PTRDEQUE_H
