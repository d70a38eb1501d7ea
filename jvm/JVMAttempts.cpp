#include "jvm/JVMAttempts.h"

#include "base/TextUtil.h"

JVMAttempts::NamedBy::NamedBy(JVMAttempts* attempts, const SString& namedBy)
    : m_attempts(attempts) {
    if (m_attempts != nullptr) {
        m_previous = m_attempts->m_namedBy;
        m_attempts->m_namedBy = namedBy;
    }
}

JVMAttempts::NamedBy::~NamedBy() {
    if (m_attempts != nullptr) {
        m_attempts->m_namedBy = m_previous;
    }
}

void JVMAttempts::record(const SString& home, const SString& executable, const SString& jvmFile,
                         const SString& reason, bool missing) {
    Attempt attempt;
    attempt.home = home;
    attempt.executable = executable;
    attempt.jvmFile = jvmFile;
    attempt.reason = reason;
    attempt.missing = missing;
    attempt.namedBy = m_namedBy;
    m_attempts.push_back(attempt);
}

SString JVMAttempts::describe(const Attempt& attempt) {
    return concat(attempt.executable, " (", attempt.jvmFile, "): ", attempt.reason);
}

SString JVMAttempts::describeShort(const Attempt& attempt) {
    if (attempt.missing) {
        return concat(attempt.executable, " does not exist");
    }
    return concat(attempt.executable, ": ", attempt.reason);
}
