#ifndef QV_JVM_VERIFYCLASS_H
#define QV_JVM_VERIFYCLASS_H

#include <string>

#include "base/SString.h"

class FileIndexEntry;

// The class a candidate JVM runs to report its properties, and where it lies: a class path an
// input file named, or the launcher's embedded verify archive. The embedded archive is
// extracted only when a verify run needs it, at most once: a launch whose candidates are all
// answered by the verify cache writes nothing.
class VerifyClass {
public:
    // No verify class.
    VerifyClass() = default;
    // A class named by an input file; the class path may carry its own double quotes.
    VerifyClass(const SString& classpath, const SString& className);
    // The class "Verify" in the launcher's embedded archive, which must outlive this object.
    explicit VerifyClass(const FileIndexEntry& archive);

    bool isSet() const { return m_archive != nullptr || !m_classpath.empty() || !m_name.empty(); }
    bool isEmbedded() const { return m_archive != nullptr; }
    // The class path for the verify command, in double quotes for the embedded archive. The
    // first call for the embedded archive extracts it into the run's directory;
    // extraction errors are LauncherExceptions (and the next call tries again).
    const SString& classpath() const;
    const SString& className() const { return m_name; }
    // The verify class's part of the verify cache key (VerifyCache::verifyClassIdentity or
    // embeddedClassIdentity), computed once; empty when the class cannot be keyed.
    const std::string& identity() const;

private:
    const FileIndexEntry* m_archive = nullptr;
    // Filled in on first use: extraction and digesting cost a read of the whole archive.
    mutable SString m_classpath;
    SString m_name;
    mutable std::string m_identity;
    mutable bool m_identityKnown = false;
};

#endif  // QV_JVM_VERIFYCLASS_H
