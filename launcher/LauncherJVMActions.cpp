// The launcher's JVM actions: find one JVM or all of them, verify one, install the embedded
// JVM or run a given installer, and show the console. Script commands read the results from
// N1, S1 and S2; input-file actions print them on standard output for the calling program.
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "base/ShellQuote.h"
#include "base/TextUtil.h"
#include "input/FileIndexEntry.h"
#include "input/LauncherLayout.h"
#include "input/TagFile.h"
#include "instructions/ScriptVariables.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMFiles.h"
#include "jvm/JVMMatch.h"
#include "jvm/JVMSearchReport.h"
#include "launcher/Launcher.h"
#include "platform/unix/BinaryFile.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/SystemError.h"
#include "platform/unix/WorkingDirectory.h"

namespace {

const long kSuccessVariable = 1;  // N1
const long kHomeVariable = 1;     // S1
const long kJVMFileVariable = 2;  // S2
// The name of the jvm file an installer leaves in its destination directory.
const char kInstalledJVMFileName[] = "jvm";

// The console set-up shared by the searches and the verification by file id.
void setUpSearchConsole(bool showProgress) {
    if (showProgress) {
        PlatformImpl::setUIStatus(UI_STATUS_SEARCHING);
        PlatformImpl::showUI();
    } else {
        PlatformImpl::hideUI(0);
    }
}

void showIf(bool show, const SString& message) {
    if (show) {
        PlatformImpl::showUIMessage(message);
    }
}

// Results go to a calling program that may read them while this launcher still runs children
// that write to the same standard output: each result leaves the buffer at once. A result
// that cannot be written (a closed pipe, a full disk) fails the action: the caller must not
// take a missing answer for a complete one.
void printLine(const char* text) {
    if (std::printf("%s\n", text) < 0 || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        int err = errno;
        std::clearerr(stdout);
        SString context("Unable to write the result to standard output");
        throw LauncherException(err != 0 ? describeSystemError(context, err) : context);
    }
}

void printResult(long value) {
    printLine(convertToString(value).c_str());
}

void printResult(const SString& value) {
    printLine(value.c_str());
}

SString installedJVMFilePath(const SString& destination) {
    SString path(destination);
    appendPathSeparator(path);
    return path += kInstalledJVMFileName;
}

const FileIndexEntry* findEmbeddedInstaller() {
    for (long i = 0;; ++i) {
        const FileIndexEntry* entry = Launcher::inputFiles().getFileAt(i);
        if (entry == nullptr || entry->getType() == FILE_TYPE_JVM_INSTALLER) {
            return entry;
        }
    }
}

// Deletes an extracted installer when it goes out of scope, so a failed run does not leave it
// in a directory the user chose.
class ExtractedInstaller {
public:
    explicit ExtractedInstaller(const SString& path) : m_path(path) {}
    ExtractedInstaller(const ExtractedInstaller&) = delete;
    ExtractedInstaller& operator=(const ExtractedInstaller&) = delete;
    ~ExtractedInstaller() {
        try {
            PlatformImpl::deleteFile(m_path);
        } catch (...) {
            // A file left behind is not worth failing the installation over.
        }
    }
    const SString& path() const { return m_path; }

private:
    SString m_path;
};

// One match of SEARCH_ALL, its jvm file already written.
struct ReportedMatch {
    SString home;
    SString jvmFile;
};

}  // namespace

void Launcher::findJVM(bool showProgress, bool showFailMsg) {
    searchJVM(showProgress, showFailMsg);
    const JVMFiles& jvmFiles = m_inputFiles.getJVMFiles();
    SString usedHome = ScriptVariables::getStringVariable(kHomeVariable);
    reportUnusedNamedHomes(jvmFiles.attempts(), usedHome);
    if (!usedHome.empty()) {
        m_jvmSearchFailure.erase();
        return;
    }
    std::vector<const JVMFile*> required;
    bool javaHomeHelps = false;
    for (long i = 0; i < jvmFiles.getJVMFileCount(); ++i) {
        required.push_back(jvmFiles.getJVMFile(i));
        javaHomeHelps = javaHomeHelps || hintsReadJavaHome(*required.back());
    }
    m_jvmSearchFailure = describeNoJVMFound(required, jvmFiles.attempts(), javaHomeHelps);
}

void Launcher::reportUnusedNamedHomes(const JVMAttempts& attempts, const SString& usedHome) {
    StringDeque lines;
    describeUnusedNamedHomes(attempts, usedHome, lines);
    for (long i = 0; i < lines.size(); ++i) {
        Log::logMessage(lines.at(i), LOG_WARNING);
        PlatformImpl::showUIError(lines.at(i));
    }
}

void Launcher::searchJVM(bool showProgress, bool showFailMsg) {
    Log::logMessage("Finding a JVM", LOG_INFO);
    setUpSearchConsole(showProgress);
    ScriptVariables::setStringVariable(kHomeVariable, SString());
    ScriptVariables::setStringVariable(kJVMFileVariable, SString());
    ScriptVariables::setLongVariable(kSuccessVariable, 0);
    try {
        JVMMatchPtrDeque matches;
        m_inputFiles.getJVMFiles().search(matches);
        JVMMatch* match = matches.at(0);
        if (match == nullptr) {
            SString message = PlatformImpl::getMessageText(MSG_NO_MATCHING_JVM);
            Log::logMessage(message, LOG_INFO);
            showIf(showFailMsg && !PlatformImpl::isCanceled(), message);
            return;
        }
        SString jvmFile = match->writeNewJVMFile();
        Log::logMessage(SString("Matching JVM home is ") += match->getJVMHome(), LOG_INFO);
        Log::logMessage(SString("Matching JVM file is ") += jvmFile, LOG_INFO);
        ScriptVariables::setStringVariable(kHomeVariable, match->getJVMHome());
        ScriptVariables::setStringVariable(kJVMFileVariable, jvmFile);
        ScriptVariables::setLongVariable(kSuccessVariable, 1);
    } catch (const LauncherException& e) {
        SString message = PlatformImpl::getMessageText(MSG_NO_MATCHING_JVM);
        message += " ";
        message += e.m_message;
        Log::logMessage(message, LOG_ERROR);
        showIf(showFailMsg, message);
        throw;
    }
}

void Launcher::search(bool showProgress, bool showFailMsg) {
    try {
        searchJVM(showProgress, showFailMsg);
    } catch (const LauncherException&) {
        // searchJVM has logged and shown the failure; the caller sees no result lines.
        return;
    } catch (...) {
        Log::logMessage("Unexpected failure in search.", LOG_ERROR);
        return;
    }
    long found = ScriptVariables::getLongVariable(kSuccessVariable);
    printResult(found);
    if (found != 0) {
        SString jvmFile = ScriptVariables::getStringVariable(kJVMFileVariable);
        printResult(ScriptVariables::getStringVariable(kHomeVariable));
        printResult(jvmFile);
        // The calling program reads the reported jvm file after this launcher has ended.
        PlatformImpl::removeFileFromCleanupList(jvmFile);
    }
}

void Launcher::searchAll(bool showProgress, bool showFailMsg) {
    Log::logMessage("Finding all matching JVMs", LOG_INFO);
    setUpSearchConsole(showProgress);
    std::vector<ReportedMatch> reported;
    try {
        JVMMatchPtrDeque matches;
        m_inputFiles.getJVMFiles().searchAll(matches, false);
        for (long i = 0; i < matches.size(); ++i) {
            JVMMatch* match = matches.at(i);
            reported.push_back(ReportedMatch{match->getJVMHome(), match->writeNewJVMFile()});
        }
    } catch (const LauncherException& e) {
        if (PlatformImpl::terminatingSignal() != 0) {
            // A launcher asked to stop gives no answer at all: "0" would read as a complete one.
            throw;
        }
        // Nothing has been printed yet, so the caller reads a complete "no match" answer; the
        // jvm files already written stay on the cleanup list and go at exit.
        SString message = PlatformImpl::getMessageText(MSG_UNABLE_TO_SEARCH_ALL);
        message += e.m_message;
        Log::logMessage(message, LOG_ERROR);
        showIf(showFailMsg, message);
        printResult(0L);
        return;
    }
    printResult(static_cast<long>(reported.size()));
    for (const ReportedMatch& match : reported) {
        printResult(match.home);
        printResult(match.jvmFile);
    }
    // Only a complete answer hands the jvm files over; otherwise they go at exit.
    for (const ReportedMatch& match : reported) {
        PlatformImpl::removeFileFromCleanupList(match.jvmFile);
    }
}

void Launcher::verifyJVM(bool showProgress, bool showFailMsg, long fileId) {
    setUpSearchConsole(showProgress);
    FileIndexEntry* entry = m_inputFiles.getFile(fileId);
    if (entry == nullptr) {
        throw LauncherException(concat("Cannot verify jvm file at index ", convertToString(fileId),
                                       " because it does not exist."));
    }
    if (entry->getType() != FILE_TYPE_JVM) {
        throw LauncherException(concat(
            "To verify a JVM, use an index of a jvm file. The index passed in was ",
            convertToString(fileId), " which corresponds to the file named ", entry->getName()));
    }
    TagFile* jvmFile = entry->getTagFile();
    if (jvmFile == nullptr) {
        throw LauncherException(
            concat("The jvm file with file id ", convertToString(fileId), " could not be read."));
    }
    SString userJavaHome(m_userJavaHome);
    JVMAttempts attempts;
    // VERIFY checks the -qv:javahome directory when there is one: the user named it.
    JVMAttempts::NamedBy naming(userJavaHome.empty() ? nullptr : &attempts,
                                concat("-qv:javahome ", userJavaHome));
    JVMFile candidate(*jvmFile, context());
    candidate.setAttemptLog(&attempts);
    verifyCandidate(showProgress, showFailMsg, candidate, userJavaHome);
    if (ScriptVariables::getLongVariable(kSuccessVariable) != 0) {
        m_jvmSearchFailure.erase();
        return;
    }
    reportUnusedNamedHomes(attempts, SString());
    m_jvmSearchFailure = describeNoJVMFound({&candidate}, attempts, false);
}

void Launcher::verifyJVM(bool showProgress, bool showFailMsg, const SString& jvmFilePath,
                         const SString& jvmHome) {
    TagFile jvmFile(jvmFilePath);
    verifyJVM(showProgress, showFailMsg, jvmFile, jvmHome);
    printResult(ScriptVariables::getLongVariable(kSuccessVariable));
}

void Launcher::verifyJVM(bool showProgress, bool showFailMsg, TagFile& jvmFile,
                         const SString& jvmHome) {
    JVMFile candidate(jvmFile, context());
    verifyCandidate(showProgress, showFailMsg, candidate, jvmHome);
}

void Launcher::verifyCandidate(bool showProgress, bool showFailMsg, JVMFile& candidate,
                               const SString& jvmHome) {
    const TagFile& jvmFile = candidate.getTagFile();
    ScriptVariables::setLongVariable(kSuccessVariable, 0);
    if (showProgress) {
        PlatformImpl::setUISubStatus(UI_SUBSTATUS_VERIFYING, jvmFile.getTagValue(g_descTag, 0));
    }
    const VerifyClass& verifyClass = m_inputFiles.getJVMFiles().verifyClass();
    std::unique_ptr<JVMMatch> match(jvmHome.empty() ? candidate.verify(verifyClass)
                                                    : candidate.verify(jvmHome, verifyClass));
    if (!match) {
        showIf(showFailMsg, PlatformImpl::getMessageText(MSG_JVM_NOT_VALID));
        Log::logMessage("In VERIFY, the jvm is invalid.", LOG_INFO);
        return;
    }
    // The verification left the home it checked in the jvm file's JVM_HOME.
    SString verifiedHome = jvmFile.getTagValue(g_jvmHomeTag, 0);
    ScriptVariables::setLongVariable(kSuccessVariable, 1);
    ScriptVariables::setStringVariable(kHomeVariable, verifiedHome);
    Log::logMessage(SString("After VERIFY, the jvm home is ") += verifiedHome, LOG_INFO);
}

void Launcher::installJVM(InstallJVMOption option) {
    ScriptVariables::setLongVariable(kSuccessVariable, 0);
    ScriptVariables::setStringVariable(kHomeVariable, SString());
    if (option == INSTALL_TO_TEMP_HIDDEN) {
        PlatformImpl::hideUI(0);
    } else {
        PlatformImpl::showUI();
        PlatformImpl::setUIStatus(UI_STATUS_PREPARING_JVM);
    }
    const FileIndexEntry* installer = findEmbeddedInstaller();
    if (installer == nullptr) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_NO_JVM_INSTALLER));
    }

    SString destination;
    if (option == INSTALL_TO_TEMP_HIDDEN || option == INSTALL_TO_TEMP) {
        destination = PlatformImpl::createTempSubDirectory();
    } else if (option == INSTALL_TO_PROMPTED_DIR) {
        destination = absolutePath(PlatformImpl::promptJVMDestinationDirectory());
    }
    if (destination.empty()) {
        return;
    }

    {
        ExtractedInstaller extracted(installer->extract(destination));
        // The installer's output is captured and dropped as it comes: nobody reads it.
        PlatformImpl::executeProcess(quoteShellArgument(extracted.path()), destination, false, true,
                                     true, nullptr, nullptr);
    }

    SString jvmFilePath = installedJVMFilePath(destination);
    if (!PlatformImpl::fileExists(jvmFilePath)) {
        Log::logMessage("Invalid bundled JVM. Missing 'jvm' file.", LOG_ERROR);
        return;
    }
    TagFile jvmFile(jvmFilePath);
    // A JVM installed where the user asked for it outlives the run: it is not temporary.
    jvmFile.setDynamicJVMTags(destination, jvmFilePath, option != INSTALL_TO_PROMPTED_DIR);
    jvmFile.write(jvmFilePath);
    ScriptVariables::setLongVariable(kSuccessVariable, 1);
    ScriptVariables::setStringVariable(kHomeVariable, jvmFilePath);
}

void Launcher::installJVM(bool showProgress, bool /*showFailMsg*/, const SString& installerPath,
                          const SString& destDir) {
    SString destination = absolutePath(destDir);
    // The installer runs in its destination directory: a relative path that names a file here
    // must still name it there. A bare name that is no file here is left to the shell's search.
    SString installer =
        PlatformImpl::fileExists(installerPath) ? absolutePath(installerPath) : installerPath;
    // The installer is named by a path: quoted, a blank or a "$" in it stays part of the name.
    PlatformImpl::executeProcess(quoteShellArgument(installer), destination, showProgress, false,
                                 true, nullptr, nullptr);
    SString jvmFilePath = installedJVMFilePath(destination);
    TagFile jvmFile(jvmFilePath);
    jvmFile.setDynamicJVMTags(destination, jvmFilePath, false);
    jvmFile.write(jvmFilePath);
    printResult(jvmFilePath);
}

void Launcher::initializeUI() {
    PlatformImpl::setUIStatus(UI_STATUS_INITIALIZING);
    PlatformImpl::setUISubStatus(UI_SUBSTATUS_NONE, SString());
    PlatformImpl::showUI();
}
