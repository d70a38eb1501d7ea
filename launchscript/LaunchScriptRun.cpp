// Making a launch script and running its command.
#include "base/ShellQuote.h"
#include "input/TagFile.h"
#include "jvm/JVMFile.h"
#include "launcher/Launcher.h"
#include "launchscript/CapturedRunLog.h"
#include "launchscript/LaunchScript.h"
#include "platform/unix/PlatformImpl.h"

namespace {

// The directory that holds the running launcher file, or empty when its name has none.
SString launcherDirectory() {
    SString name = Launcher::getLauncherFileName();
    SString::size_type separator = name.rfind(PlatformImpl::getPathSeparator());
    if (separator == SString::npos) {
        return SString();
    }
    // A launcher in the root directory runs there, not in whatever directory is current.
    return separator == 0 ? PlatformImpl::getPathSeparator() : name.substr(0, separator);
}

}  // namespace

LaunchScript::LaunchScript(const TagFile& script, bool captureOutput)
    : m_command(script.getTagValue(g_commandTag, 0)),
      m_captureOutput(captureOutput),
      m_displayConsole(script.getBoolTagValue(g_displayConsoleTag, false)),
      m_autoSetWorkingDir(script.getBoolTagValue(g_autoSetWorkingDirTag, true)),
      m_currentJVMFile(nullptr),
      m_addEmbeddedArchives(true),
      m_description(script.getTagValue(g_launchScriptDescTag, 0)),
      m_archive(script.getTagValue(g_archiveTag, 0)),
      m_expandingArchive(false),
      m_helperTimeLimitMs(-1),
      m_timedOut(false),
      m_outputCut(false) {}

LaunchScript::LaunchScript(const SString& command, bool captureOutput, bool addEmbeddedArchives)
    : m_command(command),
      m_captureOutput(captureOutput),
      m_displayConsole(false),
      m_autoSetWorkingDir(true),
      m_currentJVMFile(nullptr),
      m_addEmbeddedArchives(addEmbeddedArchives),
      m_expandingArchive(false),
      m_helperTimeLimitMs(-1),
      m_timedOut(false),
      m_outputCut(false) {}

void LaunchScript::runAsHelper(long timeLimitMs) {
    m_helperTimeLimitMs = timeLimitMs < 0 ? 0 : timeLimitMs;
}

void LaunchScript::execute(const JVMFile& jvmFile, const StringDeque* passThroughArgs,
                           bool showConsole) {
    SString line = resolve(jvmFile);
    const SString workingDirectory = m_autoSetWorkingDir ? launcherDirectory() : SString();

    // Each argument reaches java exactly as the user gave it: the shell expands nothing in it.
    if (passThroughArgs != nullptr) {
        for (long i = 0; i < passThroughArgs->size(); ++i) {
            line += ' ';
            line += quoteShellArgument(passThroughArgs->at(i));
        }
    }

    SString record("Executing launch script command: ");
    record += line;
    if (m_autoSetWorkingDir) {
        record += " in working directory ";
        record += workingDirectory;
    } else {
        record += " in current working directory";
    }
    Log::logMessage(record, LOG_INFO);

    // JAVA_HOME and a class path variable are set for the child only: a later #JAVA_HOME#
    // still names the user's JVM, not the one that ran last.
    StringDeque childVariables;
    for (long i = 0; i < m_childVariables.size(); ++i) {
        childVariables.push_back(m_childVariables.at(i));
    }
    childVariables.push_back(SString("JAVA_HOME=") += jvmFile.getTagValue(g_jvmHomeTag));

    const bool console = m_displayConsole || showConsole;
    const bool capture = m_captureOutput && !console;
    CapturedRunLog output(m_standardOutput, m_standardError);
    ChildOptions options;
    options.output = capture ? &output : nullptr;
    options.helper = m_helperTimeLimitMs >= 0;
    options.timeLimitMs = options.helper ? m_helperTimeLimitMs : 0;
    const ChildResult result =
        PlatformImpl::runForeground(line, workingDirectory, options, &childVariables);
    m_timedOut = result.timedOut;
    m_exitStatus = result.exitStatus;
    m_outputCut = output.isOutputCut();
    if (capture) {
        output.finish();
    }
}
