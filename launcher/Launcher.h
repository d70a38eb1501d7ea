#ifndef QV_LAUNCHER_LAUNCHER_H
#define QV_LAUNCHER_LAUNCHER_H

#include "base/LauncherException.h"
#include "base/SString.h"
#include "base/StringDeque.h"
#include "instructions/InstructionActions.h"
#include "launcher/LauncherInputFiles.h"
#include "platform/unix/Log.h"

class Instructions;
class JVMAttempts;
class JVMFile;
class LaunchScript;
class TagFile;

// The launcher driver. All run-wide state is static; the one instance that main creates only
// runs the temporary-file cleanup when it is destroyed.
class Launcher {
public:
    Launcher() = default;
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;
    // Removes the run's temporary files; never throws.
    ~Launcher();

    // Stores the launcher path and the arguments, opens the launcher file (openPath, see
    // LauncherInputFiles::openLauncherFile) for every later read, then interprets the command
    // line. A LauncherException is shown on standard error, logged and turned into the result
    // 1, and so is any other std::exception: std::bad_alloc as "Out of memory", the rest as
    // their what(). Otherwise the result is the exit status of the application when LAUNCH or
    // ILAUNCH ran it, else 0. (An application that replaced the launcher ends the process
    // itself: see allowExecInPlace.)
    static int process(StringDeque& args, const SString& launcherPath, const SString& openPath);
    // Reads the options left to right and performs them; the environment's QV_LOG names the
    // log until -qv:log does. -qv:help prints the options and, like -qv:version, keeps the
    // scripts from running. Failures leave as LauncherException; so does a packed launcher
    // whose file lost its index (g_payloadLostMessage).
    static int processCmdLine(const StringDeque& args);
    // Runs the instruction script, if any. A script error leaves as LauncherException naming
    // its line. So does, with the message of describeNoJVMFound, a script whose last FIND_JVM
    // or VERIFY found no JVM and that launched nothing after it.
    static void run();
    // Executes instructions; an InstructionsException leaves as LauncherException "Error in
    // instructions. <message> Line number (<n>)". Other exceptions pass through unchanged.
    static void runInstructions(const Instructions& instructions);

    // ---- JVM actions: results go to N1, S1, S2 (scripts) or standard output (input files).
    // FIND_JVM and VERIFY also tell the user on standard error about a home named by
    // JAVA_HOME or -qv:javahome that was not taken, and remember a failure for run().
    static void findJVM(bool showProgress, bool showFailMsg);
    static void search(bool showProgress, bool showFailMsg);
    static void searchAll(bool showProgress, bool showFailMsg);
    static void verifyJVM(bool showProgress, bool showFailMsg, long fileId);
    static void verifyJVM(bool showProgress, bool showFailMsg, const SString& jvmFilePath,
                          const SString& jvmHome);
    static void verifyJVM(bool showProgress, bool showFailMsg, TagFile& jvmFile,
                          const SString& jvmHome);
    static void installJVM(InstallJVMOption option);
    static void installJVM(bool showProgress, bool showFailMsg, const SString& installerPath,
                           const SString& destDir);
    static void initializeUI();

    // ---- Launch actions. LAUNCH and ILAUNCH run the application through the launch script and
    // wait for it; without a launch script they run nothing.
    // Loads the jvm file at jvmFilePath (LauncherException when it cannot be read) and launches.
    // An empty path after a failed search fails with the search's message instead.
    static void launch(const SString& jvmFilePath, short uiDisplaySeconds);
    // Launches with the embedded jvm file of that id; logs an error and runs nothing when the
    // launch script or that jvm file is missing.
    static void ilaunch(long fileId, short uiDisplaySeconds);
    // Starts the embedded launcher at that index position in the background, from a temporary
    // directory left to it, with -qv:orig and this launcher's arguments. Logs an error when
    // there is no embedded launcher there; extraction errors leave as LauncherException.
    static void executeEmbeddedLauncher(long index);
    // The embedded application archive, extracted on first use.
    static const SString& getApplicationArchive();
    // A temporary copy of the file name beside the original launcher.
    static const SString& getApplicationArchive(const SString& name);

    // The launcher file being run (the copy after -qv:orig) and the one the user started; both
    // are the launcher's own path until -qv:orig names the original.
    static void setLauncherFiles(const SString& launcherFile, const SString& originalFile);
    static SString getLauncherFileName();
    static SString getOriginalLauncherFileName();
    // The directory part of the original launcher's path, without the separator.
    static SString getOriginalLauncherDir();

    // Lets a launch that is the run's last act replace the launcher's process with the
    // application (Launcher::runApplication). Only main calls it: a test that runs the driver
    // in its own process needs the status back.
    static void allowExecInPlace();

    // The run as the objects built from tag files see it (LauncherContext).
    static const LauncherContext& context();
    // The run's input files: the launcher file's index and the objects built from tag files.
    static LauncherInputFiles& inputFiles();

    // Test hook: every run-wide value of the driver, the script variables and the log back to
    // the state a new run starts from. The input files stay as loaded.
    static void resetForTest();

private:
    class Context;

    // Run-wide state, private to the driver.
    static SString m_launcherFileName;
    static SString m_origLauncherFileName;
    static const Context m_context;
    static LauncherInputFiles m_inputFiles;
    static StringDeque m_passThroughArgs;
    static StringDeque m_args;
    static SString m_userJavaHome;
    static SString m_applicationArchive;
    static bool m_showJavaConsole;
    // Set by allowExecInPlace.
    static bool m_execInPlaceAllowed;
    // Set when LAUNCH or ILAUNCH ran the application, with the status it ended with.
    static bool m_applicationLaunched;
    static int m_applicationExitStatus;
    // The message for the user when the last FIND_JVM or VERIFY of the script found no JVM and
    // nothing was launched since; empty otherwise.
    static SString m_jvmSearchFailure;

    // Shows message and logs it as an error; never throws.
    static void reportFailure(const SString& message);
    static void reportFailure(const char* message);
    static void processInputFile(const SString& inputFileArgument, bool& runInstructions);
    static void performInputAction(const TagFile& inputFile, bool showProgress, bool showFailMsg,
                                   bool& runInstructions);
    static void loadFileIndex();
    // Fails with g_payloadLostMessage when this executable was packed but its file carries no
    // file index any more.
    static void failWhenPayloadLost();
    static void printHelp();
    // The JVM search of FIND_JVM and SEARCH: N1, S1, S2 as FIND_JVM leaves them.
    static void searchJVM(bool showProgress, bool showFailMsg);
    // Verifies candidate at jvmHome (its own JVM_HOME when empty): N1 and S1 as VERIFY leaves
    // them.
    static void verifyCandidate(bool showProgress, bool showFailMsg, JVMFile& candidate,
                                const SString& jvmHome);
    // Shows and logs (warning) describeUnusedNamedHomes.
    static void reportUnusedNamedHomes(const JVMAttempts& attempts, const SString& usedHome);
    // Shows the running status, runs the launch script with jvmFile and records the exit status.
    // When the launch is the last act of the run (isLastAct), the launcher may replace itself
    // with the application instead, and this never returns.
    static void runApplication(LaunchScript& script, const JVMFile& jvmFile,
                               short uiDisplaySeconds);
    // True when main allowed it, QV_EXEC_IN_PLACE is not 0 and the instruction script runs a
    // line after which only labels and comments follow: after the launch the launcher would
    // only clean up (LaunchScript and PlatformImpl check that there is nothing to clean up and
    // nothing captured) and exit with the application's status.
    static bool isLastAct();
};

#endif  // QV_LAUNCHER_LAUNCHER_H
