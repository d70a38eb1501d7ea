// Making a launch script and running its command.
#include "base/ShellQuote.h"
#include "base/TextUtil.h"
#include "input/JVMFileTags.h"
#include "input/TagFile.h"
#include "launchscript/CapturedRunLog.h"
#include "launchscript/JVMTags.h"
#include "launchscript/LaunchScript.h"
#include "platform/unix/Log.h"
#include "platform/unix/PlatformImpl.h"

LaunchScript::LaunchScript(const TagFile& script, bool captureOutput,
                           const LauncherContext& context)
    : m_context(context),
      m_command(script.getTagValue(g_commandTag, 0)),
      m_captureOutput(captureOutput),
      m_displayConsole(script.getBoolTagValue(g_displayConsoleTag, false)),
      m_autoSetWorkingDir(script.getBoolTagValue(g_autoSetWorkingDirTag, true)),
      m_currentJVMFile(nullptr),
      m_addEmbeddedArchives(true),
      m_useApplicationCache(script.getBoolTagValue(g_appCacheTag, false)),
      m_description(script.getTagValue(g_launchScriptDescTag, 0)),
      m_archive(script.getTagValue(g_archiveTag, 0)),
      m_expandingArchive(false),
      m_helperTimeLimitMs(-1),
      m_timedOut(false),
      m_outputCut(false) {}

LaunchScript::LaunchScript(const SString& command, bool captureOutput, bool addEmbeddedArchives,
                           const LauncherContext& context)
    : m_context(context),
      m_command(command),
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

void LaunchScript::execute(const JVMTags& jvmFile, const StringDeque* passThroughArgs,
                           bool showConsole, bool lastAct) {
    SString line = resolve(jvmFile);
    const SString workingDirectory = m_autoSetWorkingDir ? m_context.launcherDir() : SString();

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
    options.lastAct = lastAct;
    const ChildResult result =
        PlatformImpl::runForeground(line, workingDirectory, options, &childVariables);
    m_timedOut = result.timedOut;
    m_exitStatus = result.exitStatus;
    m_outputCut = output.isOutputCut();
    if (capture) {
        output.finish();
    }
    if (m_classData.hasPendingWork()) {
        const SString java =
            concat(jvmFile.getTagValue(g_jvmHomeTag), "/", jvmFile.getTagValue(g_jvmExeTag));
        m_classData.finishRun(std::string(java.c_str(), java.length()),
                              std::string(m_lastClasspath.c_str(), m_lastClasspath.length()));
    }
}
