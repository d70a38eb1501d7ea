#ifndef QV_JVM_JVMMATCH_H
#define QV_JVM_JVMMATCH_H

#include "base/PtrDeque.h"
#include "base/SString.h"

class TagFile;

// A JVM that passed verification: its home and the tag file of the jvm file it satisfies
// (borrowed: the input files own it). Whoever receives a match owns it.
class JVMMatch {
public:
    JVMMatch(const SString& home, TagFile& tags) : m_home(home), m_tags(&tags) {}
    JVMMatch(const JVMMatch&) = delete;
    JVMMatch& operator=(const JVMMatch&) = delete;
    virtual ~JVMMatch() = default;

    // Writes the jvm file with JVM_HOME, JVM_FILE and JVM_TEMP describing this match into a new
    // temporary file (on the cleanup list) and returns its path. Matches of one jvm file share
    // its tag file: each call sets its own values before writing. Throws LauncherException when
    // the file cannot be made or written.
    SString writeNewJVMFile();

    const SString& getJVMHome() const { return m_home; }
    TagFile& getTagFile() const { return *m_tags; }

private:
    SString m_home;
    TagFile* m_tags;
};

typedef PtrDE<JVMMatch> JVMMatchPtrDE;
typedef PtrDeque<JVMMatch> JVMMatchPtrDeque;

#endif  // QV_JVM_JVMMATCH_H
