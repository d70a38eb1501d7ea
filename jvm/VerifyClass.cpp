#include "jvm/VerifyClass.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "input/FileIndexEntry.h"
#include "jvm/VerifyCache.h"

namespace {

// The class the embedded verify archive holds, quoted as the verify command takes it.
const char kEmbeddedClassName[] = "\"Verify\"";
// A verify archive holds one small class; a larger one goes to disk as before.
const long kMaxInMemory = 16L * 1024 * 1024;

}  // namespace

VerifyClass::VerifyClass(const SString& classpath, const SString& className)
    : m_classpath(classpath), m_name(className) {}

VerifyClass::VerifyClass(const FileIndexEntry& archive)
    : m_archive(&archive), m_name(kEmbeddedClassName) {}

const SString& VerifyClass::classpath() const {
    if (m_archive != nullptr && m_classpath.empty()) {
        m_inMemory = m_archive->copyToMemory(kMaxInMemory);
        const std::string path =
            "/proc/self/fd/" + std::to_string(m_inMemory.isOpen() ? m_inMemory.get() : -1);
        if (!m_inMemory.isOpen() || access(path.c_str(), R_OK) != 0) {
            m_inMemory.reset();
        }
        const SString where =
            m_inMemory.isOpen() ? SString(path.c_str()) : m_archive->extractForRun();
        m_classpath = "\"";
        m_classpath += where;
        m_classpath += "\"";
    }
    return m_classpath;
}

VerifyClass::SharedWithChild::SharedWithChild(const VerifyClass& verifyClass)
    : m_fd(verifyClass.m_inMemory.get()) {
    if (m_fd >= 0) {
        fcntl(m_fd, F_SETFD, 0);
    }
}

VerifyClass::SharedWithChild::~SharedWithChild() {
    if (m_fd >= 0) {
        fcntl(m_fd, F_SETFD, FD_CLOEXEC);
    }
}

const std::string& VerifyClass::identity() const {
    if (!m_identityKnown) {
        m_identity = m_archive != nullptr ? VerifyCache::embeddedClassIdentity(*m_archive, m_name)
                                          : VerifyCache::verifyClassIdentity(m_classpath, m_name);
        m_identityKnown = true;
    }
    return m_identity;
}
