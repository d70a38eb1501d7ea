#ifndef QV_JVM_JVMATTEMPTS_H
#define QV_JVM_JVMATTEMPTS_H

#include <vector>

#include "base/SString.h"

// The candidates a JVM search tried and passed over, in the order tried, each with why. They
// make the log's summary of a search that found nothing, the account the user is shown, and
// the word about a home the user named (JAVA_HOME, -qv:javahome) that was not taken.
class JVMAttempts {
public:
    struct Attempt {
        SString home;
        SString executable;
        // The name of the jvm file the candidate was checked against.
        SString jvmFile;
        // Why it was passed over: "the executable does not exist", "java.version is 1.8,
        // expected [11,)", ...
        SString reason;
        // The executable does not exist (nothing was run).
        bool missing = false;
        // Who named the home: "JAVA_HOME=/x", "-qv:javahome /x"; empty for a jvm file's own
        // hints and the disk walk.
        SString namedBy;
    };

    // Marks the attempts recorded while it lives as named by namedBy. attempts may be null
    // (nothing is recorded then).
    class NamedBy {
    public:
        NamedBy(JVMAttempts* attempts, const SString& namedBy);
        NamedBy(const NamedBy&) = delete;
        NamedBy& operator=(const NamedBy&) = delete;
        ~NamedBy();

    private:
        JVMAttempts* m_attempts;
        SString m_previous;
    };

    // Appends one failed candidate, marked with the current NamedBy.
    void record(const SString& home, const SString& executable, const SString& jvmFile,
                const SString& reason, bool missing);
    void clear() { m_attempts.clear(); }
    long size() const { return static_cast<long>(m_attempts.size()); }
    // The attempt at index, 0 <= index < size().
    const Attempt& at(long index) const { return m_attempts[static_cast<size_t>(index)]; }

    // "<executable> (<jvm file>): <reason>", as the log's summary lists it.
    static SString describe(const Attempt& attempt);
    // The same, short, for a line about the home alone: "<executable> does not exist" or
    // "<executable>: <reason>".
    static SString describeShort(const Attempt& attempt);

private:
    std::vector<Attempt> m_attempts;
    SString m_namedBy;
};

#endif  // QV_JVM_JVMATTEMPTS_H
