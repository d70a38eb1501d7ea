#ifndef QV_JVM_JVMFILES_H
#define QV_JVM_JVMFILES_H

#include "base/SString.h"
#include "jvm/JVMAttempts.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMMatch.h"
#include "jvm/UnverifiedJVMMatch.h"
#include "jvm/VerifyClass.h"
#include "platform/unix/FileFindListener.h"

// The jvm files of the run, in input order, with the verify class to check candidates with.
// Finds a JVM that satisfies one of them: at the user's home (-qv:javahome), through each jvm
// file's hints, and, when a jvm file asks for it with SEARCH_ALL, by walking the whole disk for
// its JVM_EXE. Matches go to the caller's list, which owns them.
class JVMFiles : public FileFindListener {
public:
    // context is the launcher run searched for (the user's Java home, the embedded verify
    // archive); it must outlive this object.
    explicit JVMFiles(const LauncherContext& context = LauncherContext::detached()) noexcept;
    ~JVMFiles() override;

    // Appends a jvm file; the set owns it.
    void addJVMFile(JVMFile* file);
    long getJVMFileCount() const { return m_jvmFiles.size(); }
    // Throws LauncherException "Invalid JVM file id." for a bad index.
    const JVMFile* getJVMFile(long index) const;
    JVMFile* getJVMFile(long index);

    // The verify class named by an input file; a class path may carry its own double quotes.
    void setVerifyClass(const SString& classpath, const SString& className);
    // The verify class: the one set, else the class "Verify" of the launcher's embedded verify
    // archive (the last one in the index), which is extracted only when a verify run needs it.
    // Unset when there is neither.
    const VerifyClass& verifyClass();

    // Finds one JVM and appends it to matches (nothing when none is found).
    void search(JVMMatchPtrDeque& matches);
    // Walks the disk and appends every match (or only the first with stopAtFirst).
    void searchAll(JVMMatchPtrDeque& matches, bool stopAtFirst);
    void exhaustiveSearch(JVMMatchPtrDeque& matches);

    // The failed candidates of the last search, in the order tried.
    const JVMAttempts& attempts() const { return m_attempts; }

    // The disk walk's report of a file ending in a JVM_EXE; true ends the walk.
    bool foundFile(const SString& path) override;
    void addUnverifiedMatch(JVMFile* file, const SString& home);

private:
    void clearCurrentMatch();
    bool searchUserHome();
    // Returns true when the hint loop ended on a jvm file that asks for the disk walk.
    bool searchHints();
    void verifyUnverifiedMatches(JVMMatchPtrDeque& matches);
    // Hands the current match to matches; logs the places tried when the search added none.
    void reportMatch(JVMMatchPtrDeque& matches, long countBefore);
    // One log record listing every failed candidate of the search and why it failed.
    void logAttempts() const;

    const LauncherContext& m_context;
    JVMFilePtrDeque m_jvmFiles;
    UnverifiedJVMMatchPtrDeque m_unverifiedMatches;
    JVMMatch* m_currentMatch;
    bool m_stopAtFirst;
    VerifyClass m_verifyClass;
    // The failed candidates of the current search, recorded by the jvm files.
    JVMAttempts m_attempts;
};

#endif  // QV_JVM_JVMFILES_H
