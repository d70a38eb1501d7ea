// The launch actions: run the application through the launch script with a jvm file on disk
// or embedded in the launcher, and start a second launcher embedded in this one.
#include "base/ShellQuote.h"
#include "input/FileIndexEntry.h"
#include "input/LauncherLayout.h"
#include "input/TagFile.h"
#include "instructions/Instructions.h"
#include "jvm/JVMFile.h"
#include "launcher/Launcher.h"
#include "launchscript/LaunchScript.h"
#include "platform/unix/PlatformImpl.h"

namespace {

// Set to 0, keeps the launcher from replacing itself with the application.
const char kExecInPlaceVariable[] = "QV_EXEC_IN_PLACE";

// Shared by LAUNCH and ILAUNCH: only a positive display time asks for the running status.
void showRunningStatus(short uiDisplaySeconds) {
    if (uiDisplaySeconds > 0) {
        PlatformImpl::setUIStatus(UI_STATUS_RUNNING);
        PlatformImpl::setUISubStatus(UI_SUBSTATUS_NONE, SString());
    }
    PlatformImpl::hideUI(uiDisplaySeconds);
}

}  // namespace

void Launcher::runApplication(LaunchScript& script, const JVMFile& jvmFile,
                              short uiDisplaySeconds) {
    showRunningStatus(uiDisplaySeconds);
    // The run now does what it was started for, whatever a search before it found.
    m_jvmSearchFailure.erase();
    script.execute(jvmFile, &m_passThroughArgs, m_showJavaConsole, isLastAct());
    // The launch script waits for the application, so its command's status is the
    // application's own.
    m_applicationLaunched = true;
    m_applicationExitStatus = script.exitStatus();
}

bool Launcher::isLastAct() {
    const Instructions* instructions = m_inputFiles.getInstructions();
    return m_execInPlaceAllowed &&
           PlatformImpl::getEnvironmentVariable(kExecInPlaceVariable).compare("0") != 0 &&
           instructions != nullptr && instructions->endsWithCurrentLine();
}

void Launcher::launch(const SString& jvmFilePath, short uiDisplaySeconds) {
    LaunchScript* script = m_inputFiles.getLaunchScript();
    if (script == nullptr) {
        return;
    }
    // LAUNCH @S2@ after a search that found nothing: the empty name is no file to complain
    // about; the missing JVM is.
    if (jvmFilePath.empty() && !m_jvmSearchFailure.empty()) {
        throw LauncherException(m_jvmSearchFailure);
    }
    TagFile jvmTags(jvmFilePath);
    JVMFile jvmFile(jvmTags, context());
    runApplication(*script, jvmFile, uiDisplaySeconds);
}

void Launcher::ilaunch(long fileId, short uiDisplaySeconds) {
    LaunchScript* script = m_inputFiles.getLaunchScript();
    FileIndexEntry* entry = m_inputFiles.getFile(fileId);
    TagFile* jvmTags =
        entry != nullptr && entry->getType() == FILE_TYPE_JVM ? entry->getTagFile() : nullptr;
    if (script == nullptr || jvmTags == nullptr) {
        Log::logMessage(
            "Unable to launch the internal launch script with the internal JVM file. Either the "
            "launch script or the JVM file is missing from the launcher.",
            LOG_ERROR);
        return;
    }
    JVMFile jvmFile(*jvmTags, context());
    runApplication(*script, jvmFile, uiDisplaySeconds);
}

void Launcher::executeEmbeddedLauncher(long index) {
    const FileIndexEntry* entry = m_inputFiles.getFileAt(index);
    if (entry == nullptr || entry->getType() != FILE_TYPE_LAUNCHER) {
        Log::logMessage("Unable to execute the embedded launcher.", LOG_ERROR);
        return;
    }
    SString directory = PlatformImpl::createTempSubDirectory();
    SString extracted = entry->extract(directory);

    // The embedded launcher gets this launcher's arguments again; -qv:orig makes it work from
    // this launcher's directory and delete its own file and directory when it ends. Every
    // piece is quoted so that no argument can run as a command.
    SString command = quoteShellArgument(extracted);
    command += " -qv:orig ";
    command += quoteShellArgument(m_launcherFileName);
    for (long i = 0; i < m_args.size(); ++i) {
        command += ' ';
        command += quoteShellArgument(m_args.at(i));
    }
    PlatformImpl::executeProcess(command, directory, true, false, false, nullptr, nullptr);
    // Only a launcher that was started owns the directory; until then it is ours to remove.
    PlatformImpl::removeDirFromCleanupList(directory);
}
