#ifndef QV_LAUNCHSCRIPT_LAUNCHSCRIPT_H
#define QV_LAUNCHSCRIPT_LAUNCHSCRIPT_H

#include "base/SString.h"
#include "base/StringDeque.h"
#include "input/LauncherContext.h"
#include "launchscript/ClassDataCache.h"
#include "launchscript/MacroHandler.h"

class JVMTags;
class TagFile;

// The tags of a launch script tag file, each read as its first value.
inline constexpr char g_commandTag[] = "COMMAND";                         // the template
inline constexpr char g_displayConsoleTag[] = "DISPLAY_CONSOLE";          // bool, default false
inline constexpr char g_autoSetWorkingDirTag[] = "AUTO_SET_WORKING_DIR";  // bool, default true
inline constexpr char g_launchScriptDescTag[] = "DESC";                   // application name
inline constexpr char g_archiveTag[] = "ARCHIVE";                         // may hold % functions
inline constexpr char g_appCacheTag[] = "APP_CACHE";                      // bool, default false

// A java command template and the running of it.
//
// The template is expanded against one jvm file in three passes: % functions such as
// %CP%("x.jar") or %SYSTEMPROP%("name", "value"), then the jvm file's @TAG@ macros, then
// #NAME# environment references. execute appends the user's arguments and runs the
// command as /bin/sh would (directly when it needs no shell), with JAVA_HOME set for the
// command only. Every error is a LauncherException; errors of the
// template read "Launch script error: ..." and are logged with the partly expanded command.
//
// Owns only its strings; the jvm file it expands against is borrowed for one resolve.
class LaunchScript : public MacroHandler {
public:
    // Reads COMMAND, DISPLAY_CONSOLE, AUTO_SET_WORKING_DIR, DESC and ARCHIVE from script; the
    // embedded class-path archives are added by %CP%. script need not outlive this object;
    // context (the launcher's files, its embedded archives) must.
    LaunchScript(const TagFile& script, bool captureOutput,
                 const LauncherContext& context = LauncherContext::detached());
    // A script for one literal command: no console, the launcher's directory as working
    // directory, no description or archive.
    LaunchScript(const SString& command, bool captureOutput, bool addEmbeddedArchives,
                 const LauncherContext& context = LauncherContext::detached());

    // Expands the command against jvmFile, appends each pass-through argument quoted for the
    // shell, runs the command with JAVA_HOME set to the jvm file's JVM_HOME (and the class path
    // variable, when the jvm file asks for one) and waits for it. Those variables are set for
    // the child only. With capture on and no console, the output of the run goes to the log as
    // it arrives and its first CapturedRunLog::kKeptBytes per stream are appended to the
    // output strings (CapturedRunLog). The exit status of the command is kept for exitStatus()
    // and not examined otherwise. lastAct: the launcher has nothing left to do after the
    // command; without capture the launcher may then replace itself with it
    // (ChildOptions::lastAct), and execute does not return. Throws
    // LauncherException when the expansion fails (nothing runs then) or the command cannot be
    // started, and "Stopped by signal ..." when a signal asked the launcher to stop.
    void execute(const JVMTags& jvmFile, const StringDeque* passThroughArgs, bool showConsole,
                 bool lastAct = false);
    // Makes every later execute run the command as a helper of the launcher (ChildOptions):
    // in the launcher's process group, away from the terminal, reading /dev/null, killed when
    // the launcher is asked to stop or, with capture, after timeLimitMs (0: no limit).
    void runAsHelper(long timeLimitMs);
    // After execute: the command's exit status as a shell reports it (ChildResult).
    int exitStatus() const { return m_exitStatus; }
    // After execute: true when the time limit killed the command.
    bool timedOut() const { return m_timedOut; }
    // After execute: true when the command wrote more to standard output than was kept.
    bool outputCut() const { return m_outputCut; }

    // The command template fully expanded against jvmFile (%, then @, then #), as a command
    // line for /bin/sh: every value the expansion inserted (paths, the JVM's home, environment
    // values) is quoted for its place, so that it reaches the program as its own bytes
    // (TemplateValue).
    SString resolve(const JVMTags& jvmFile) const;

    // Replaces the % function call or # reference between start and end. The functions, each
    // followed by a list of quoted arguments ("@" marks values expanded by the jvm file):
    //   REPLACE(from@, to@, text)  text with every from replaced by to
    //   SYSTEMPROP(name, value@)   SYSTEM + name + SYSTEM_SEPARATOR + value
    //   RUNTIME_SYSTEMPROP()       the name=value lines of the ".sp" file beside the launcher
    //   RUNTIME_JAVAARGS()         the lines of the ".ja" file (each @), joined by blanks
    //   CP(entry, ...)             the class path (classpathFunction)
    //   IF_EXISTS(tag, text@)      text when the jvm file's tag is not empty
    //   LAUNCHER_FILE(), LAUNCHER_DIR(), TEMP_DIR(), APPLICATION_ARCHIVE(),
    //   APPLICATION_ARCHIVE(name)
    //   CLASS_CACHE()              the options of the application's class-data archive
    //                              (ClassDataCache): nothing unless the script keeps its
    //                              archives in the application cache (APP_CACHE) and every one
    //                              of them is there
    //   ENV_WORDS(name)            the environment variable name (as #name# reads it) split at
    //                              blanks, tabs and line feeds, each word sealed, joined by one
    //                              blank; nothing when it is empty or unset
    // #NAME# becomes the environment variable NAME (empty when unset). Other delimiters change
    // nothing. Throws "Launch script error: ..." for an unknown function, a malformed list or a
    // wrong number of arguments; errors of extraction and copying pass through.
    void processMacro(SString& text, char delimiter, unsigned start, unsigned& end) const override;

    // Parses a list ( "a", "b" ) of double-quoted arguments starting at position (white space
    // allowed between the items; "" inside an argument stands for one quote). On return,
    // position is just past the closing parenthesis, or npos when the last argument closed at
    // the end of text. Throws "Launch script error: Expected ... (near character n)".
    void getArguments(const SString& text, unsigned& position, StringDeque& arguments) const;

    // Checks a command template as written, without expanding anything: each % pairs with a
    // later one as resolve pairs them, every pair names a known function followed by an
    // argument list that closes with ")", and a % left over is doubled. Returns the first
    // problem as a phrase ("an unknown function %FOO% at character 5", "an argument list of
    // %CP% that does not close", "a bad argument list of %CP%: <parser message>", "an unpaired
    // % at character 7 (write %% for a literal %)"), or empty text when there is none. What a
    // function will produce is not known here, so nothing after a call is read twice.
    static SString findTemplateProblem(const SString& text);

    // Logs "Launch command:" and text, then throws "Launch script error: " + message.
    [[noreturn]] void throwException(const SString& text, const char* message) const;
    [[noreturn]] void throwException(const SString& text, const SString& message) const;

    // %CP% leaves out the runtime class-path files beside the launcher (.cp1, .cp, .cp2): a
    // verification needs only its own class path, and a long application class path would
    // only lengthen (or overflow) the verify command.
    void leaveOutRuntimeClasspath() { m_useRuntimeClasspath = false; }

    const SString& getDescription() const { return m_description; }
    // What every run of this object wrote, appended run after run, at most
    // CapturedRunLog::kKeptBytes per stream and run.
    const SString& getStandardOutput() const { return m_standardOutput; }
    const SString& getStandardError() const { return m_standardError; }

private:
    // The pieces of the % functions. Each reads the tags of the jvm file being resolved.
    SString makeSystemProp(const JVMTags* jvmFile, const SString& name, const SString& value) const;
    SString buildRuntimeClasspath(const JVMTags* jvmFile, const char* suffix) const;
    SString buildJVMClasspath() const;
    // Joins the paths of the launcher's embedded class-path archives: their copies in the
    // application cache when the script asks for it (APP_CACHE) and the cache serves them, else
    // copies extracted into the run's directory. Empty when this script adds no embedded
    // archives. Extraction errors pass through.
    SString buildJARClasspath() const;
    // The cached paths of every embedded class-path archive; empty when the application cache
    // is not used or cannot serve one of them.
    std::vector<std::string> cachedArchives() const;
    // %CLASS_CACHE%: the sealed options of the class-data archive.
    SString classCacheFunction(const SString& text, const StringDeque& arguments) const;
    // One expansion of the template, as resolve describes it.
    SString resolveOnce(const JVMTags& jvmFile) const;
    SString buildRuntimeSystemProps(const JVMTags* jvmFile) const;
    SString buildRuntimeJavaArgs(const JVMTags* jvmFile) const;
    void addToClasspath(const JVMTags* jvmFile, SString& classpath, const SString& entry) const;

    // Evaluates the % function name with its arguments; text is the command being expanded,
    // for error reports.
    SString callFunction(const SString& text, const SString& name,
                         const StringDeque& arguments) const;
    // %CP%: the class path after the jvm file's CLASSPATH text, or, when the jvm file asks for
    // it with USE_CP_ENV_VAR, nothing, the class path going to the variable CP_ENV_VAR names.
    SString classpathFunction(const SString& text, const StringDeque& arguments) const;
    // The entries in order: .cp1 file, JVM_CLASSPATH, .cp file, arguments, ARCHIVE, embedded
    // class-path archives, .cp2 file. Empty entries are skipped.
    SString collectClasspath(const JVMTags& jvmFile, const StringDeque& arguments,
                             bool useEnvironment) const;
    // The ARCHIVE template with its % functions expanded; %CP% inside it throws.
    SString expandArchive() const;
    void passClasspathInEnvironment(const JVMTags& jvmFile, const SString& classpath) const;
    SString replaceFunction(const SString& text, const StringDeque& arguments) const;
    // The value of the environment variable name as the command will see it: a variable this
    // script sets for its child, else the launcher's own.
    SString environmentValue(const SString& name) const;
    // The jvm file of the resolve in progress; throws when there is none.
    const JVMTags& currentJVMFile(const SString& text) const;
    // Throws the wrong-count message unless arguments holds expected entries.
    void requireArguments(const SString& text, const StringDeque& arguments, long expected,
                          const char* message) const;

    const LauncherContext& m_context;
    SString m_command;
    bool m_captureOutput;
    bool m_displayConsole;
    bool m_autoSetWorkingDir;
    SString m_standardOutput;
    SString m_standardError;
    mutable const JVMTags* m_currentJVMFile;
    bool m_addEmbeddedArchives;
    bool m_useApplicationCache = false;
    // The class-data archive the last resolve prepared, finished after the run.
    mutable ClassDataCache m_classData;
    // Set while the template is expanded again without the class-data archive.
    mutable bool m_classDataWithdrawn = false;
    // The class path (as the JVM reads it) that the last resolve's %CP% produced.
    mutable SString m_lastClasspath;
    SString m_description;
    SString m_archive;
    // Set while the ARCHIVE template is expanded inside %CP%, whose own %CP% would recurse.
    mutable bool m_expandingArchive;
    // "NAME=value" entries the last resolve set for the child (the class path variable of
    // USE_CP_ENV_VAR); execute adds JAVA_HOME. The launcher's environment is never changed.
    mutable StringDeque m_childVariables;
    bool m_useRuntimeClasspath = true;
    // The time limit of a helper run, -1 when the command is the application.
    long m_helperTimeLimitMs;
    bool m_timedOut;
    bool m_outputCut;
    int m_exitStatus = 0;
};

#endif  // QV_LAUNCHSCRIPT_LAUNCHSCRIPT_H
