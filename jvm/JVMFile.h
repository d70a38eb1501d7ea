#ifndef QV_JVM_JVMFILE_H
#define QV_JVM_JVMFILE_H

#include "base/GenericDeque.h"
#include "base/SString.h"
#include "base/StringDeque.h"
#include "input/JVMFileTags.h"
#include "input/LauncherContext.h"
#include "jvm/JVMAttempts.h"
#include "jvm/JVMMatch.h"
#include "jvm/StringPair.h"
#include "jvm/VerifyClass.h"
#include "launchscript/JVMTags.h"
#include "launchscript/MacroHandler.h"

class TagFile;

// The PATH_HINT value that stands for the home of the java found on PATH.
inline constexpr char g_javaOnPathHint[] = "<PATH>";
// The reference through which a PATH_HINT reads the environment's JAVA_HOME.
inline constexpr char g_javaHomeReference[] = "#JAVA_HOME#";

// One jvm file: a tag file describing a kind of JVM the application accepts, and the @TAG@
// macros through which a text is expanded from its tags.
//
// Keeps a reference to its tag file, which belongs to the caller (the input files) and must
// outlive this object; nothing is freed here. Verification changes the tag file (JVM_HOME).
class JVMFile : public MacroHandler, public JVMTags {
public:
    // context is the launcher run the verify runs serve (their working directory is the
    // launcher's); it must outlive this object.
    explicit JVMFile(TagFile& tags, const LauncherContext& context = LauncherContext::detached());

    // The first value of tag, or empty when the tag is absent.
    SString getTagValue(const char* tag) const override;
    TagFile& getTagFile() const { return m_tags; }

    // Expands every @TAG@ macro of text with the first value of that tag ("@@" before no
    // further "@" gives "@"). Throws LauncherException when the expansion does not end.
    SString resolve(const SString& text) const override;
    // The same for a text that goes on into a command template: JVM_HOME and JVM_FILE are
    // inserted sealed (TemplateValue), so that later passes and the shell take them as data.
    SString resolveSealed(const SString& text) const override;

    // Replaces the macro between start and end, delimiters included, with the first value of
    // the tag it names (empty when absent). A trailing backslash of JVM_HOME is dropped.
    void processMacro(SString& text, char delimiter, unsigned start, unsigned& end) const override;

    // ---- Verification. None of these throws on its own account: a candidate that fails is
    // a null or false result with log records; errors of the launch script or of running the
    // candidate pass through. The caller owns a returned match.

    // Checks the home in this file's own JVM_HOME (nothing without JVM_PROPERTIES).
    JVMMatch* verify(const VerifyClass& verifyClass);
    // Checks one candidate home: its JVM_EXE must exist and the verify class run with it must
    // report the JVM_PROPERTIES values.
    JVMMatch* verify(const SString& jvmHome, const VerifyClass& verifyClass);
    // Tries the PATH_HINT values below each search root, in order.
    JVMMatch* verifyWithPathHints(const VerifyClass& verifyClass);
    // Tries the homes the platform maps PLATFORM_HINT values to (none on this platform).
    JVMMatch* verifyWithPlatformHints(const VerifyClass& verifyClass);
    // Runs the verify class with the candidate (setting the tag file's JVM_HOME, which stays
    // set) and checks its output.
    bool performVerify(const SString& jvmHome, const VerifyClass& verifyClass);
    // The magic line, then one value line per property in order: exact, or a prefix when the
    // expected value ends with "...". Properties left over when the output ends pass.
    static bool verifyJVMOutput(const SString& output, const StringPairPtrDeque& properties);
    // The same; on false, *failure (when not null) says what did not match.
    static bool verifyJVMOutput(const SString& output, const StringPairPtrDeque& properties,
                                SString* failure);

    // Where each failed candidate is recorded with why it failed, for the summary of a search
    // that found nothing. Not owned; null records nothing.
    void setAttemptLog(JVMAttempts* attemptLog) { m_attemptLog = attemptLog; }
    JVMAttempts* attemptLog() const { return m_attemptLog; }
    // Adds the candidate at jvmHome (its executable: jvmHome + "/" + JVM_EXE) to the attempt
    // log, if there is one; missing: its executable does not exist.
    void recordFailedAttempt(const SString& jvmHome, const SString& reason,
                             bool missing = false) const;

    // The home of the java found on PATH, for the hint "<PATH>": the first directory of PATH
    // holding an executable regular file named like the last part of JVM_EXE, resolved through
    // symbolic links, less "/" + JVM_EXE. Empty when PATH has none, or when the resolved path
    // does not end in "/" + JVM_EXE.
    SString homeOfJavaOnPath() const;

private:
    // What the verify class printed for the candidate, into output: from the verify cache when
    // it holds the answer, otherwise by running command as a helper within the verify time
    // limit (and remembering the answer). False, with a log record and the reason in failure,
    // when the run took too long or printed more than the answer may hold. Only a run needs
    // the verify class's class path (which may extract the embedded archive).
    bool verifyOutput(const SString& jvmHome, const VerifyClass& verifyClass,
                      const StringDeque& propertyNames, SString& output, SString& failure);
    // The verify run's command template: the candidate's java, the verify class path, the
    // class and each property name as one quoted argument.
    SString verifyCommand(const SString& jvmHome, const VerifyClass& verifyClass,
                          const StringDeque& propertyNames) const;
    // The time a verify run may take, in milliseconds (0: no limit): QV_VERIFY_TIMEOUT when it
    // holds a valid number of seconds, else VERIFY_TIMEOUT, else the default. An invalid value
    // is logged and passed over.
    long verifyTimeLimitMs() const;
    // False, with a warning, when JVM_PROPERTIES is not set.
    bool hasProperties() const;

    TagFile& m_tags;
    const LauncherContext& m_context;
    JVMAttempts* m_attemptLog = nullptr;
};

// List entry for a JVMFile that deletes the element only when it owns it: the same jvm file
// can sit in several lists while one of them (or the caller) owns it.
class JVMFilePtrDE : public DequeEntry {
public:
    JVMFilePtrDE(JVMFile* element, bool owns) : m_element(element), m_owns(owns) {}
    ~JVMFilePtrDE() override {
        if (m_owns) {
            delete m_element;
        }
    }

    JVMFile* m_element;
    bool m_owns;
};

// A list of jvm files; each element is deleted with its entry when its owns flag was true.
// A bad index gives null.
class JVMFilePtrDeque : public GenericDeque {
public:
    JVMFile* at(long i) { return element(GenericDeque::at(i)); }
    const JVMFile* at(long i) const { return element(GenericDeque::at(i)); }
    JVMFile* back() { return at(m_count - 1); }
    const JVMFile* back() const { return at(m_count - 1); }

    // Appends; with owns, the list deletes the element when its entry goes.
    void push_back(const JVMFile* element, bool owns) {
        GenericDeque::insert(-1, new JVMFilePtrDE(const_cast<JVMFile*>(element), owns));
    }
    // Stores at i (i < 0 appends). An index at or past the end stores nothing and takes no
    // ownership.
    void insert(long i, const JVMFile* element, bool owns) {
        if (i >= m_count) {
            return;
        }
        GenericDeque::insert(i, new JVMFilePtrDE(const_cast<JVMFile*>(element), owns));
    }

private:
    static JVMFile* element(const DequeEntry* entry) {
        return entry == nullptr ? nullptr : static_cast<const JVMFilePtrDE*>(entry)->m_element;
    }
};

#endif  // QV_JVM_JVMFILE_H
