#include "base/GenericDeque.h"

#include <climits>

namespace {

const long kInitialCapacity = 30;

}  // namespace

GenericDeque::GenericDeque() noexcept : m_count(0), m_entries(nullptr), m_capacity(0) {}

GenericDeque::~GenericDeque() {
    cleanup(m_entries, m_count);
    delete[] m_entries;
}

void GenericDeque::cleanup(DequeEntry** array, long n) {
    for (long i = 0; i < n; ++i) {
        delete array[i];
        array[i] = nullptr;
    }
}

void GenericDeque::insert(long i, const DequeEntry* e) {
    if (i >= m_count) {
        return;
    }
    if (m_count + 1 > m_capacity) {
        resize(m_count + 1);
    }
    DequeEntry* entry = const_cast<DequeEntry*>(e);
    if (i < 0) {
        m_entries[m_count] = entry;
    } else {
        for (long j = m_count; j > i; --j) {
            m_entries[j] = m_entries[j - 1];
        }
        m_entries[i] = entry;
    }
    ++m_count;
}

void GenericDeque::erase(long i) {
    if (!validIndex(i)) {
        return;
    }
    delete m_entries[i];
    for (long j = i; j + 1 < m_count; ++j) {
        m_entries[j] = m_entries[j + 1];
    }
    --m_count;
    m_entries[m_count] = nullptr;
}

void GenericDeque::clear() {
    cleanup(m_entries, m_count);
    m_count = 0;
}

void GenericDeque::resize(long n) {
    if (n > m_capacity) {
        long newCapacity = grownCapacity(n);
        DequeEntry** grown = new DequeEntry*[newCapacity];
        for (long j = 0; j < newCapacity; ++j) {
            grown[j] = j < m_count ? m_entries[j] : nullptr;
        }
        delete[] m_entries;
        m_entries = grown;
        m_capacity = newCapacity;
    } else if (n < m_capacity) {
        if (n < 0) {
            n = 0;
        }
        if (n < m_count) {
            cleanup(m_entries + n, m_count - n);
            m_count = n;
        }
    }
}

long GenericDeque::grownCapacity(long n) const {
    long grown = m_capacity > 0 ? m_capacity : kInitialCapacity;
    while (grown < n) {
        // Doubling past LONG_MAX is impossible; the allocation of n then fails on its own.
        grown = grown > LONG_MAX / 2 ? n : grown * 2;
    }
    return grown;
}
