#ifndef QV_JVM_UNVERIFIEDJVMMATCH_H
#define QV_JVM_UNVERIFIEDJVMMATCH_H

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "base/StringDeque.h"

class JVMFile;

// Homes the disk walk found for one jvm file and that still wait for verification, in the
// order found and without duplicates. The jvm file is borrowed.
class UnverifiedJVMMatch {
public:
    explicit UnverifiedJVMMatch(JVMFile& file) : m_file(&file) {}
    UnverifiedJVMMatch(const UnverifiedJVMMatch&) = delete;
    UnverifiedJVMMatch& operator=(const UnverifiedJVMMatch&) = delete;

    // Appends home unless an equal one is already there.
    void addJVMHome(const SString& home);
    // True when this refers to that very jvm file object.
    bool equals(const JVMFile& file) const { return m_file == &file; }

    JVMFile& getJVMFile() const { return *m_file; }
    const StringDeque& getJVMHomes() const { return m_homes; }

private:
    JVMFile* m_file;
    StringDeque m_homes;
};

typedef PtrDE<UnverifiedJVMMatch> UnverifiedJVMMatchPtrDE;

// The unverified matches of one disk walk, one entry per jvm file.
class UnverifiedJVMMatchPtrDeque : public PtrDeque<UnverifiedJVMMatch> {
public:
    // Gives home to the first entry for file; nothing when there is none.
    void addMatch(const JVMFile& file, const SString& home);
};

#endif  // QV_JVM_UNVERIFIEDJVMMATCH_H
