#ifndef QV_JVM_JVMFILE_H
#define QV_JVM_JVMFILE_H

#include "base/GenericDeque.h"
#include "base/SString.h"
#include "base/StringDeque.h"
#include "jvm/JVMMatch.h"
#include "jvm/StringPair.h"
#include "launchscript/MacroHandler.h"

class TagFile;

// The tags of a jvm file. Each is read as its first value unless noted; a missing tag reads
// as empty.
inline constexpr char g_descTag[] = "DESC";                     // readable JVM name
inline constexpr char g_jvmHomeTag[] = "JVM_HOME";              // the JVM's home
inline constexpr char g_jvmExeTag[] = "JVM_EXE";                // java, relative to home
inline constexpr char g_pathHintTag[] = "PATH_HINT";            // all values
inline constexpr char g_platformHintTag[] = "PLATFORM_HINT";    // all values
inline constexpr char g_jvmPropertiesTag[] = "JVM_PROPERTIES";  // all values, name=value
inline constexpr char g_searchAllTag[] = "SEARCH_ALL";          // bool, default false
inline constexpr char g_jvmFileTag[] = "JVM_FILE";              // written by the launcher
inline constexpr char g_jvmTempTag[] = "JVM_TEMP";              // bool, by the launcher
inline constexpr char g_jvmClasspathTag[] = "JVM_CLASSPATH";    // entries the JVM needs
inline constexpr char g_classpathTag[] = "CLASSPATH";           // e.g. "-classpath "
inline constexpr char g_classpathSeparatorTag[] = "CLASSPATH_SEPARATOR";
inline constexpr char g_useCpEnvVarTag[] = "USE_CP_ENV_VAR";        // "1": class path in env
inline constexpr char g_cpEnvVarTag[] = "CP_ENV_VAR";               // that variable's name
inline constexpr char g_systemTag[] = "SYSTEM";                     // e.g. "-D"
inline constexpr char g_systemSeparatorTag[] = "SYSTEM_SEPARATOR";  // e.g. "="
inline constexpr char g_verifyTimeoutTag[] = "VERIFY_TIMEOUT";      // seconds, 0: no limit
// Overrides VERIFY_TIMEOUT on the user's machine.
inline constexpr char g_verifyTimeoutVariable[] = "QV_VERIFY_TIMEOUT";
// The time a verify run may take when neither sets it.
inline constexpr long g_defaultVerifyTimeLimitMs = 30000;

// One jvm file: a tag file describing a kind of JVM the application accepts, and the @TAG@
// macros through which a text is expanded from its tags.
//
// Keeps a reference to its tag file, which belongs to the caller (the input files) and must
// outlive this object; nothing is freed here. Verification changes the tag file (JVM_HOME).
class JVMFile : public MacroHandler {
public:
    explicit JVMFile(TagFile& tags);

    // The first value of tag, or empty when the tag is absent.
    SString getTagValue(const char* tag) const;
    TagFile& getTagFile() const { return m_tags; }

    // Expands every @TAG@ macro of text with the first value of that tag ("@@" before no
    // further "@" gives "@"). Throws LauncherException when the expansion does not end.
    SString resolve(const SString& text) const;
    // The same for a text that goes on into a command template: JVM_HOME and JVM_FILE are
    // inserted sealed (TemplateValue), so that later passes and the shell take them as data.
    SString resolveSealed(const SString& text) const;

    // Replaces the macro between start and end, delimiters included, with the first value of
    // the tag it names (empty when absent). A trailing backslash of JVM_HOME is dropped.
    void processMacro(SString& text, char delimiter, unsigned start, unsigned& end) const override;

    // ---- Verification. None of these throws on its own account: a candidate that fails is
    // a null or false result with log records; errors of the launch script or of running the
    // candidate pass through. The caller owns a returned match.

    // Checks the home in this file's own JVM_HOME (nothing without JVM_PROPERTIES).
    JVMMatch* verify(const SString& verifyClasspath, const SString& verifyClassName);
    // Checks one candidate home: its JVM_EXE must exist and the verify class run with it must
    // report the JVM_PROPERTIES values.
    JVMMatch* verify(const SString& jvmHome, const SString& verifyClasspath,
                     const SString& verifyClassName);
    // Tries the PATH_HINT values below each search root, in order.
    JVMMatch* verifyWithPathHints(const SString& verifyClasspath, const SString& verifyClassName);
    // Tries the homes the platform maps PLATFORM_HINT values to (none on this platform).
    JVMMatch* verifyWithPlatformHints(const SString& verifyClasspath,
                                      const SString& verifyClassName);
    // Runs the verify class with the candidate (setting the tag file's JVM_HOME, which stays
    // set) and checks its output.
    bool performVerify(const SString& jvmHome, const SString& verifyClasspath,
                       const SString& verifyClassName);
    // The magic line, then one value line per property in order: exact, or a prefix when the
    // expected value ends with "...". Properties left over when the output ends pass.
    static bool verifyJVMOutput(const SString& output, const StringPairPtrDeque& properties);
    // The same; on false, *failure (when not null) says what did not match.
    static bool verifyJVMOutput(const SString& output, const StringPairPtrDeque& properties,
                                SString* failure);

    // Where each failed candidate is recorded as "<executable> (<jvm file>): <why>", for the
    // summary of a search that found nothing. Not owned; null records nothing.
    void setAttemptLog(StringDeque* attemptLog) { m_attemptLog = attemptLog; }
    // Adds one failed candidate to the attempt log, if there is one.
    void recordFailedAttempt(const SString& executable, const SString& reason) const;

private:
    // What the verify class printed for the candidate, into output: from the verify cache when
    // it holds the answer, otherwise by running command as a helper within the verify time
    // limit (and remembering the answer). False, with a log record and the reason in failure,
    // when the run took too long or printed more than the answer may hold.
    bool verifyOutput(const SString& jvmHome, const SString& verifyClasspath,
                      const SString& verifyClassName, const SString& command,
                      const StringDeque& propertyNames, SString& output, SString& failure);
    // The time a verify run may take, in milliseconds (0: no limit): QV_VERIFY_TIMEOUT when it
    // holds a valid number of seconds, else VERIFY_TIMEOUT, else the default. An invalid value
    // is logged and passed over.
    long verifyTimeLimitMs() const;
    // False, with a warning, when JVM_PROPERTIES is not set.
    bool hasProperties() const;

    TagFile& m_tags;
    StringDeque* m_attemptLog = nullptr;
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
