#ifndef QV_PLATFORM_UNIX_PLATFORMIMPL_H
#define QV_PLATFORM_UNIX_PLATFORMIMPL_H

#include <csignal>

#include "base/SString.h"
#include "base/StringDeque.h"
#include "platform/unix/FileDescriptor.h"

#include <cstddef>

class BinaryFile;
class FileFindListener;

// Receives the output of a child whose output is captured, piece by piece as it arrives, so
// that the launcher holds no more of it than the receiver keeps.
class CapturedOutput {
public:
    virtual ~CapturedOutput() = default;
    // count (> 0) bytes that the child wrote to its standard output, or to its standard error
    // when isError. An exception ends the run: the child is then waited for (a helper is
    // killed first) and the exception passes on.
    virtual void take(bool isError, const char* bytes, size_t count) = 0;
};

// How a foreground child runs (PlatformImpl::runForeground).
struct ChildOptions {
    // Receives the captured output; null lets the child write to the launcher's own standard
    // output and error.
    CapturedOutput* output = nullptr;
    // A helper of the launcher (a verify run) rather than the application: it stays in the
    // launcher's process group and never gets the terminal, reads its standard input from
    // /dev/null, and is killed at once (SIGKILL) when a signal asks the launcher to stop.
    bool helper = false;
    // With output captured: the milliseconds the child may run before it is killed (SIGKILL,
    // to its process group when it has one of its own); 0 for no limit.
    long timeLimitMs = 0;
    // The command is the launcher's last act: nothing runs after it, and its status becomes
    // the launcher's. When, in addition, nothing is captured, it is no helper and the run has
    // no temporary file or directory and no launcher copy left to remove, the launcher
    // replaces itself with the command (replaceLauncher) instead of starting a child, and
    // runForeground never returns; should the exec fail, the command starts as a child.
    bool lastAct = false;
};

// How a foreground child ended (PlatformImpl::runForeground).
struct ChildResult {
    // As a shell reports it: the exit code, or 128 + the number of the signal that ended the
    // child. 127 when the child could not start the shell.
    int exitStatus = 0;
    // The time limit ended the child: it has been killed and reaped, and exitStatus is
    // 128 + SIGKILL.
    bool timedOut = false;
};

// What the console prints for a stage of the run.
enum UIStatus {
    UI_STATUS_INITIALIZING = 0,
    UI_STATUS_SEARCHING = 1,
    UI_STATUS_NOT_FOUND = 2,
    UI_STATUS_RUNNING = 3,
    UI_STATUS_PREPARING_JVM = 4
};

// The step within a stage; the console composes its text but shows none.
enum UISubStatus {
    UI_SUBSTATUS_NONE = 0,
    UI_SUBSTATUS_SEARCHING_FOR = 1,
    UI_SUBSTATUS_SCANNING_DISKS = 2,
    UI_SUBSTATUS_VERIFYING = 3
};

// The catalog messages that callers fetch by meaning rather than by catalog index.
enum MessageIdentifier {
    MSG_COULD_NOT_LOAD_INPUT_FILE = 0,
    MSG_ERROR_LOADING_INSTRUCTIONS = 1,
    MSG_ERROR_LOADING_LAUNCH_SCRIPT = 2,
    MSG_ERROR_LOADING_JVM_FILE = 3,
    MSG_INVALID_JVM_FILE_ID = 4,
    MSG_INVALID_ACTION = 5,
    MSG_LOG_FILE_NAME_MISSING = 6,
    MSG_UNABLE_TO_EXTRACT = 7,
    MSG_UNABLE_TO_LOAD_INDEX = 8,
    MSG_NO_JVM_INSTALLER = 9,
    MSG_JVM_NOT_VALID = 10,
    MSG_INPUT_FILE_NAME_MISSING = 11,
    MSG_NO_MATCHING_JVM = 12,
    MSG_UNABLE_TO_SEARCH_ALL = 13,
    MSG_UNABLE_TO_OPEN_INPUT_FILE = 14,
    MSG_ERROR_WRITING_FILE = 15,
    MSG_NOT_ENOUGH_SPACE = 16,
    MSG_CANCELED = 17
};

// The Unix platform layer: console, temporary files and cleanup, directory walks, child
// processes and the environment. Every member is static; nobody needs an instance. The state
// of the run is private: it is reached through the functions below, and resetForTest returns
// all of it to what a new run finds.
class PlatformImpl {
public:
    // ---- Console and message catalog ----

    // Prints an empty line and the status text for values 0..4 (nothing for other values, when
    // silent or when quiet). The empty line also ends an open row of progress marks.
    static void setUIStatus(UIStatus status);
    // Composes the sub-status text; the console shows none and getUISubStatus stays
    // UI_SUBSTATUS_NONE.
    static void setUISubStatus(UISubStatus status, const SString& text);
    // The sub-status shown and its text, for a step that hands them back when it ends
    // (SubStatusWrapper).
    static UISubStatus getUISubStatus();
    static SString getUISubStatusText();
    // Adds n to the progress and prints n progress marks (none when quiet).
    static void advanceUIProgress(long n);
    // The same as calling advanceUIProgress(1) steps times, marks and line breaks included,
    // in one write: for work that finishes many progress units at once.
    static void advanceUIProgressSteps(long steps);
    // Sets the progress; prints one line break each time a new block of 70 is reached.
    static void setUIProgress(long progress);
    static void showUI();
    static void hideUI(short seconds);
    // Silent: the console prints nothing at all, and the destination prompt answers empty.
    static void setSilent(bool silent);
    static bool isSilent();
    // Quiet: standard output belongs to the application alone. The console prints no title,
    // status lines or progress marks, and its messages and the destination prompt go to
    // standard error. Silent still wins: then nothing is printed at all.
    static void setQuiet(bool quiet);
    static bool isQuiet();
    static bool isUIVisible();
    // Prints msg and a line feed even while output is off, but never when silent: on standard
    // output (standard error when quiet, or when standard output takes nothing). An open row
    // of progress marks is ended first.
    static void showUIMessage(const SString& msg);
    // Prints msg and a line feed on standard error, even while output is off, but never when
    // silent: a failure or a warning for the user, which must not mix with what a program
    // reads from standard output. An open row of progress marks is ended first.
    static void showUIError(const SString& msg);
    // Ends a row of progress marks that has no line feed yet with one line feed on standard
    // output, so that what comes next (a message, the output of a program the launcher
    // starts) begins on a line of its own. Does nothing when no row is open.
    static void endProgressLine();
    // Resolves the title's \uXXXX escapes, keeps it for the status lines and prints it
    // (unless silent or quiet).
    static void setUITitle(const SString& title);
    static SString wideToMultiByte(const wchar_t* wide);
    // Asks for a directory on the console (the question on standard error when quiet); the
    // empty string when silent.
    static SString promptJVMDestinationDirectory();
    // The catalog text for id in the user's language; empty for an unknown id.
    static SString getMessageText(MessageIdentifier id);
    // Returns the console to its start state (output on, neither silent nor quiet, not
    // canceled, no title, no progress), as a new run finds it.
    static void resetUIState();
    // Canceled: the user asked to stop the JVM search. A cancelable walk (FileNavigator) and
    // the verification of the JVMs found stop, and no failure message is shown. The console
    // offers no way to cancel; a UI that does sets it.
    static void setCanceled(bool canceled);
    static bool isCanceled();

    // ---- Temporary files, cleanup and file operations ----

    // The configured temporary directory: the one -qv:tempdir set, else "/var/tmp/".
    static SString getSystemTempDirectory();
    // Takes dir only when it names an existing directory. The option's reader makes it
    // absolute first.
    static void setSystemTempDir(const SString& dir);
    // Create a new, registered directory or empty file, named with the prefix "qvj", in the
    // first of these that is usable: TMPDIR (when it names an accessible directory; a relative
    // value is taken from the working directory), the configured temporary directory,
    // "/var/tmp/". A directory that group or others may write to and that has no sticky bit is
    // refused, with one warning in the log per directory: anyone could rename our entries
    // there and put theirs in their place. Throw LauncherException on failure, or when every
    // choice is refused.
    static SString createTempSubDirectory();
    // The run's one directory for the embedded files it extracts (the verify archive, the
    // class-path archives, the application archive): made by createTempSubDirectory on the
    // first call and the same for the rest of the run, so a run makes at most one, and none
    // when it extracts nothing. Cleanup removes it with the other directories.
    static SString runDirectory();
    static SString createTempFile();
    // The same as createTempFile, and leaves file open on the new file: written through that
    // descriptor, the bytes reach the file made, whatever the name leads to by then.
    static SString createTempFile(BinaryFile& file);
    // A new file with no name, open for reading and writing (close-on-exec), in the directory
    // createTempFile would use: for data that must not outlive the run even when the launcher
    // is killed. Closed, with errno set, when it cannot be made.
    static FileDescriptor createAnonymousTempFile();
    static void addFileToCleanupList(const SString& path);
    static void removeFileFromCleanupList(const SString& path);
    static void removeDirFromCleanupList(const SString& path);
    // The paths that cleanup removes, in the order they were listed.
    static const StringDeque& getCleanupFiles();
    static const StringDeque& getCleanupDirectories();
    // Names the launcher file that cleanup removes last (after -qv:orig the launcher runs from
    // a copy made for the run), with its directory when nothing else is left in it; empty for
    // none, as a run starts.
    static void setLauncherToDelete(const SString& launcherFile);
    // Removes the listed files, then the listed directories, then the launcher file named by
    // setLauncherToDelete. Failures are logged only.
    static void cleanup();
    // Removes now the listed files and directories that command and environment (the
    // "NAME=value" entries a child gets) cannot use: those whose last path component, a name
    // the launcher chose, appears in neither. A component with other bytes than letters,
    // digits and "._-" is kept, as its quoted form in the command could hide it. For a command
    // that is the run's last act, so that nothing is left to clean up after it.
    static void removeCleanupEntriesNotNamedIn(const SString& command,
                                               const StringDeque* environment);
    // Removes a file, or a directory with everything below it.
    static void deleteFile(const SString& path);
    static bool fileExists(const SString& path);
    static void setFileExecutable(const SString& path);
    // True when the file system holding path has room for bytes. Throws LauncherException
    // when the file system cannot be queried.
    static bool checkFreeSpace(const SString& path, long bytes);
    static SString getPathSeparator();
    static SString getPlatformHint(const SString& hint);

    // ---- File search ----

    // Walks every search root and reports each file whose path ends with "/" + a name. Throws
    // "Stopped by signal ..." when a signal cut the walk short.
    static void findFiles(const StringDeque& names, FileFindListener& listener);
    // Appends the roots of the exhaustive search.
    static void getJVMSearchPartitions(StringDeque& roots);
    // The command name (no "/" in it) as the shell finds it: in the first directory of PATH
    // (an empty entry is the current directory) that holds an executable regular file of that
    // name, resolved through symbolic links to an absolute path (realpath). Empty when PATH
    // is empty or has none, or when the file found cannot be resolved.
    static SString findCommandOnPath(const SString& name);

    // ---- Processes and environment ----

    // Runs command, a /bin/sh command line: in the foreground (optionally capturing its output
    // into the two strings, appended) or, without wait, in the background. A command that needs
    // no shell (splitSimpleCommand) starts directly, with the words and environment the shell
    // would give it. environment, when given, holds "NAME=value" entries set for the child
    // over the launcher's own environment, which itself does not change. Returns the exit
    // status of the foreground child (ChildResult::exitStatus); 0 without wait, when the
    // command is left running. Throws LauncherException when the child cannot be started or
    // waited for.
    static int executeProcess(const SString& command, const SString& workingDirectory,
                              bool showConsole, bool captureOutput, bool wait,
                              SString* standardOutput, SString* standardError,
                              const StringDeque* environment = nullptr);
    // Runs command, a /bin/sh command line, in the foreground and waits for it, as
    // executeProcess does with wait (directly when it needs no shell, with environment set for
    // the child only), and as options ask. Returns how the child ended; never returns when the
    // launcher replaced itself with the command (ChildOptions::lastAct). Every child dies with
    // the launcher (the kernel kills it when the launcher ends before it) and gets SIGPIPE and
    // SIGXFSZ as the launcher was started with them. A child that writes to the launcher's own
    // standard output (nothing captured) starts after endProgressLine. Throws LauncherException
    // when the child cannot be started or waited for, and "Stopped by signal <n> (<name>)" once it
    // has ended when a signal asked the launcher to stop meanwhile.
    static ChildResult runForeground(const SString& command, const SString& workingDirectory,
                                     const ChildOptions& options,
                                     const StringDeque* environment = nullptr);
    // Empty when name is not set.
    static SString getEnvironmentVariable(const SString& name);
    // Sets name for this process and every child started afterwards. Throws
    // LauncherException when the system refuses the name (empty or containing "=").
    static void setEnvironmentVariable(const SString& name, const SString& value);

    // The signal that asked the launcher to stop, else 0: SIGTERM, SIGHUP, SIGINT or SIGQUIT
    // that reached the launcher, while it waited for a foreground child (the signal has gone
    // on to the child, ForegroundJob) or between children (TerminationSignals). A key of the
    // terminal that goes to an application owning the terminal is the application's, not a
    // request to the launcher. executeProcess then fails with "Stopped by signal <n> (<name>)"
    // and starts no child any more, the disk walk ends and throwIfTerminating fails, so that
    // the run unwinds, cleans up and ends with finalExitStatus.
    static int terminatingSignal();
    // Records signo as the signal that asked the launcher to stop, unless one already did: the
    // first request decides the exit status. Async-signal-safe: the signal handlers call it.
    static void noteTerminatingSignal(int signo) noexcept;
    // Fails with "Stopped by signal <n> (<name>)" when a signal asked the launcher to stop.
    // Called between the steps of long work that runs no child.
    static void throwIfTerminating();
    // The launcher's exit status after cleanup: 128 + terminatingSignal() when a signal asked
    // the launcher to stop, as a shell reports a command ended by that signal; else status.
    static int finalExitStatus(int status);

    // ---- Test hook ----

    // For tests only: returns all of the layer's run-wide state to what a new run finds: the
    // console as resetUIState leaves it, no configured temporary directory, empty cleanup
    // lists, no launcher to delete, no temporary directory refused yet, no request to stop.
    // A run starts in that state and never calls this.
    static void resetForTest();

private:
    // Logs that the launcher replaces itself with command, then does so (replaceLauncher);
    // returns only when it could not, after logging why.
    static void replaceLauncherWith(const SString& command, const StringDeque* environment);
    // Forgets the temporary directory, the cleanup lists and what was created and refused.
    static void resetTemporaryFiles();

    static bool m_silent;
    static bool m_quiet;
    static UISubStatus m_subStatus;
    static SString m_subStatusData;
    static bool m_canceled;

    // The directory -qv:tempdir named; empty until set or first asked for.
    static SString m_tempDir;
    static StringDeque m_sdqCreatedFiles;
    static StringDeque m_sdqCreatedDrs;
    // The directory runDirectory made; empty until then.
    static SString m_runDirectory;
    static SString m_launcherToDelete;

    // Written by noteTerminatingSignal, from signal handlers, and cleared by resetForTest.
    static volatile std::sig_atomic_t m_terminatingSignal;
};

#endif  // QV_PLATFORM_UNIX_PLATFORMIMPL_H
