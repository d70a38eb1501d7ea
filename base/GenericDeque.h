#ifndef QV_BASE_GENERICDEQUE_H
#define QV_BASE_GENERICDEQUE_H

// One stored entry of a GenericDeque. Typed entries derive from it and delete their element
// in their destructor.
class DequeEntry {
public:
    DequeEntry() = default;
    DequeEntry(const DequeEntry&) = delete;
    DequeEntry& operator=(const DequeEntry&) = delete;
    virtual ~DequeEntry() = default;
};

// A growable array of owned entry pointers: the untyped core of every list in the launcher.
// The list owns its entries; erasing, clearing, shrinking or destroying it deletes them. A bad
// index gives null, never an exception. Capacity starts at 30 slots and doubles whenever it is
// outgrown, so that filling a list costs time in proportion to its length: growing by a fixed
// step would copy the whole array every few entries, quadratic over a list of 100,000.
class GenericDeque {
public:
    GenericDeque() noexcept;
    GenericDeque(const GenericDeque&) = delete;
    GenericDeque& operator=(const GenericDeque&) = delete;
    virtual ~GenericDeque();

    bool validIndex(long i) const { return i >= 0 && i < m_count; }
    DequeEntry* at(long i) { return validIndex(i) ? m_entries[i] : nullptr; }
    const DequeEntry* at(long i) const { return validIndex(i) ? m_entries[i] : nullptr; }

    // i < 0 appends; 0 <= i < count stores at i and shifts the rest up; i >= count stores
    // nothing and takes no ownership (the caller still owns e).
    void insert(long i, const DequeEntry* e);
    void erase(long i);
    // Deletes every entry for which dead(index, entry) is true, index being where the entry
    // stood before the call, and closes the gaps keeping the order of the rest: one pass
    // however many go, where erasing them one by one would shift the rest each time. dead
    // must not throw.
    template <class Predicate>
    void eraseIf(Predicate dead) {
        long kept = 0;
        for (long i = 0; i < m_count; ++i) {
            DequeEntry* entry = m_entries[i];
            m_entries[i] = nullptr;
            if (dead(i, static_cast<const DequeEntry*>(entry))) {
                delete entry;
            } else {
                m_entries[kept++] = entry;
            }
        }
        m_count = kept;
    }
    void clear();
    // Above the capacity: doubles it (from 30 when empty) until it holds n, keeping the count.
    // Below it: deletes the entries from n on. The capacity never shrinks.
    void resize(long n);

    long size() const { return m_count; }
    long capacity() const { return m_capacity; }

    long m_count;

protected:
    static void cleanup(DequeEntry** array, long n);

private:
    // The capacity that holds n entries: 30, 60, 120, ... up to the first that reaches n.
    long grownCapacity(long n) const;

    DequeEntry** m_entries;
    long m_capacity;
};

#endif  // QV_BASE_GENERICDEQUE_H
