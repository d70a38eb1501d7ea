#include "jvm/VerifyClass.h"

#include "input/FileIndexEntry.h"
#include "jvm/VerifyCache.h"

namespace {

// The class the embedded verify archive holds, quoted as the verify command takes it.
const char kEmbeddedClassName[] = "\"Verify\"";

}  // namespace

VerifyClass::VerifyClass(const SString& classpath, const SString& className)
    : m_classpath(classpath), m_name(className) {}

VerifyClass::VerifyClass(const FileIndexEntry& archive)
    : m_archive(&archive), m_name(kEmbeddedClassName) {}

const SString& VerifyClass::classpath() const {
    if (m_archive != nullptr && m_classpath.empty()) {
        SString extracted = m_archive->extractForRun();
        m_classpath = "\"";
        m_classpath += extracted;
        m_classpath += "\"";
    }
    return m_classpath;
}

const std::string& VerifyClass::identity() const {
    if (!m_identityKnown) {
        m_identity = m_archive != nullptr ? VerifyCache::embeddedClassIdentity(*m_archive, m_name)
                                          : VerifyCache::verifyClassIdentity(m_classpath, m_name);
        m_identityKnown = true;
    }
    return m_identity;
}
