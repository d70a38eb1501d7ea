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
// index gives null, never an exception. Capacity grows in steps of 30 slots.
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
    void clear();
    // Above the capacity: grows to the next multiple of the growth step, keeping the count.
    // Below it: deletes the entries from n on. The capacity never shrinks.
    void resize(long n);

    long size() const { return m_count; }
    long capacity() const { return m_capacity; }

    long m_count;

protected:
    static void cleanup(DequeEntry** array, long n);

private:
    DequeEntry** m_entries;
    long m_growBy;
    long m_capacity;
};

#endif  // QV_BASE_GENERICDEQUE_H
