#ifndef QV_JVM_VERIFYCLASS_H
#define QV_JVM_VERIFYCLASS_H

#include <string>

#include "base/SString.h"
#include "platform/unix/FileDescriptor.h"

class FileIndexEntry;

// The class a candidate JVM runs to report its properties, and where it lies: a class path an
// input file named, or the launcher's embedded verify archive. The embedded archive is
// copied only when a verify run needs it, at most once: a launch whose candidates are all
// answered by the verify cache writes nothing. The copy is a memory file that the verify run
// reads as /proc/self/fd/<n>, so nothing reaches the disk; where the system has no memory
// files (or no /proc), it is extracted into the run's directory.
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
    // first call for the embedded archive copies it (above); extraction errors are
    // LauncherExceptions (and the next call tries again).
    const SString& classpath() const;

    // While it lives, the children the launcher starts inherit the memory copy of the verify
    // archive, which is close-on-exec otherwise: only a verify run may see it, never the
    // application.
    class SharedWithChild {
    public:
        explicit SharedWithChild(const VerifyClass& verifyClass);
        SharedWithChild(const SharedWithChild&) = delete;
        SharedWithChild& operator=(const SharedWithChild&) = delete;
        ~SharedWithChild();

    private:
        int m_fd;
    };
    const SString& className() const { return m_name; }
    // The verify class's part of the verify cache key (VerifyCache::verifyClassIdentity or
    // embeddedClassIdentity), computed once; empty when the class cannot be keyed.
    const std::string& identity() const;

private:
    const FileIndexEntry* m_archive = nullptr;
    // Filled in on first use: extraction and digesting cost a read of the whole archive.
    mutable SString m_classpath;
    mutable FileDescriptor m_inMemory;
    SString m_name;
    mutable std::string m_identity;
    mutable bool m_identityKnown = false;
};

#endif  // QV_JVM_VERIFYCLASS_H
