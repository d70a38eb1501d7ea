#include "launcher/Launcher.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <new>

#include "base/StdioFile.h"
#include "base/TextUtil.h"
#include "input/TagFile.h"
#include "instructions/Instructions.h"
#include "instructions/InstructionsException.h"
#include "instructions/ScriptVariables.h"
#include "launcher/StubMarker.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/WorkingDirectory.h"

// Class-type state is defined in this order so that it is built in this order and destroyed
// in the reverse order after main returns.
// The launcher run as the objects built from tag files see it.
class Launcher::Context : public LauncherContext {
public:
    SString launcherFile() const override { return m_launcherFileName; }
    SString originalLauncherFile() const override { return m_origLauncherFileName; }
    SString userJavaHome() const override { return m_userJavaHome; }
    const FileIndexEntry* embeddedFileAt(long index) const override {
        return m_inputFiles.getFileAt(index);
    }
    SString applicationArchive() const override { return getApplicationArchive(); }
    SString applicationArchive(const SString& name) const override {
        return getApplicationArchive(name);
    }
};

SString Launcher::m_launcherFileName;
SString Launcher::m_origLauncherFileName;
const Launcher::Context Launcher::m_context;
LauncherInputFiles Launcher::m_inputFiles(m_context);
StringDeque Launcher::m_passThroughArgs;
StringDeque Launcher::m_args;
SString Launcher::m_userJavaHome;
SString Launcher::m_applicationArchive;
bool Launcher::m_showJavaConsole = false;
bool Launcher::m_execInPlaceAllowed = false;
bool Launcher::m_applicationLaunched = false;
int Launcher::m_applicationExitStatus = 0;
SString Launcher::m_jvmSearchFailure;

namespace {

const char kVersion[] = "2.0";
const char kOutOfMemory[] = "Out of memory";
// Names the log file as -qv:log does, for a run whose command line the user cannot change.
const char kLogVariable[] = "QV_LOG";
const char kHelp[] =
    "Options of this launcher (every other argument goes to the application):\n"
    "  -qv:log FILE       append a log of the run to FILE (- for standard error; or QV_LOG=FILE)\n"
    "  -qv:javahome DIR   try the JVM at DIR before any other, and use it for VERIFY\n"
    "  -qv:javaconsole    let the application use the terminal even when its output is captured\n"
    "  -qv:silent         print nothing on the console\n"
    "  -qv:tempdir DIR    make temporary files in DIR\n"
    "  -qv:in FILE        perform the input file's action at once\n"
    "  -qv:extract        write every embedded file into the current directory instead of running\n"
    "  -qv:version        print the version instead of running\n"
    "  -qv:orig PATH      used between launchers: the path of the launcher that started this one\n"
    "  -qv:help           print this list instead of running\n";

// Options that take a value read it from the next argument, when there is one.
bool takeValue(const StringDeque& args, long& i, SString& value) {
    if (!args.validIndex(i + 1)) {
        return false;
    }
    ++i;
    value = args.at(i);
    return true;
}

}  // namespace

Launcher::~Launcher() {
    try {
        PlatformImpl::cleanup();
    } catch (...) {
        // Cleanup runs on the way out, after any failure was already reported.
    }
}

int Launcher::process(StringDeque& args, const SString& launcherPath, const SString& openPath) {
    setLauncherFiles(launcherPath, launcherPath);
    try {
        // Opened before anything else happens, so that the whole run reads the file that was
        // executed, whatever is renamed over its name meanwhile. A failure is reported by the
        // first read, as options such as -qv:version need no launcher file.
        m_inputFiles.openLauncherFile(openPath, launcherPath);
        for (long i = 0; i < args.size(); ++i) {
            m_args.push_back(args.at(i));
        }
        processCmdLine(args);
        // A caller that scripts the application needs its status, not the launcher's.
        return m_applicationLaunched ? m_applicationExitStatus : 0;
    } catch (const LauncherException& e) {
        reportFailure(e.m_message);
    } catch (const std::bad_alloc&) {
        // Unwinding freed what the failed work held, so the report has room again.
        reportFailure(kOutOfMemory);
    } catch (const std::exception& e) {
        reportFailure(e.what());
    }
    return 1;
}

void Launcher::reportFailure(const SString& message) {
    try {
        PlatformImpl::showUIError(message);
        Log::logMessage(message, LOG_ERROR);
    } catch (const std::exception&) {
        // Nothing is left to report with; the exit status still says the run failed.
    }
}

void Launcher::reportFailure(const char* message) {
    try {
        reportFailure(SString(message));
    } catch (const std::exception&) {
        // As above: not even the text could be made.
    }
}

int Launcher::processCmdLine(const StringDeque& args) {
    PlatformImpl::setLauncherToDelete(SString());
    PlatformImpl::setUIProgress(0);
    bool runScripts = true;
    // Read before the options: -qv:log on the command line wins.
    SString logFromEnvironment = PlatformImpl::getEnvironmentVariable(kLogVariable);
    if (!logFromEnvironment.empty()) {
        Log::setLogFileName(logFromEnvironment);
    }

    for (long i = 0; i < args.size(); ++i) {
        const SString& arg = args.at(i);
        SString value;
        if (arg.compare("-qv:log") == 0) {
            if (takeValue(args, i, value)) {
                Log::setLogFileName(value);
            } else {
                PlatformImpl::showUIError(PlatformImpl::getMessageText(MSG_LOG_FILE_NAME_MISSING));
            }
        } else if (arg.compare("-qv:orig") == 0) {
            if (takeValue(args, i, value)) {
                m_origLauncherFileName = value;
                PlatformImpl::setLauncherToDelete(getLauncherFileName());
            } else {
                PlatformImpl::showUIError("Missing original launcher file name.");
            }
        } else if (arg.compare("-qv:tempdir") == 0) {
            if (takeValue(args, i, value)) {
                PlatformImpl::setSystemTempDir(absolutePath(value));
            }
        } else if (arg.compare("-qv:silent") == 0) {
            PlatformImpl::setSilent(true);
        } else if (arg.compare("-qv:javahome") == 0) {
            if (takeValue(args, i, value)) {
                m_userJavaHome = absolutePath(value);
            }
        } else if (arg.compare("-qv:extract") == 0) {
            try {
                m_inputFiles.load(false);
            } catch (const LauncherException& e) {
                SString message = PlatformImpl::getMessageText(MSG_UNABLE_TO_LOAD_INDEX);
                throw LauncherException(message += e.m_message);
            }
            failWhenPayloadLost();
            try {
                m_inputFiles.extractAll();
            } catch (const LauncherException& e) {
                SString message = PlatformImpl::getMessageText(MSG_UNABLE_TO_EXTRACT);
                throw LauncherException(message += e.m_message);
            }
            PlatformImpl::setUIProgress(100);
            runScripts = false;
        } else if (arg.compare("-qv:in") == 0) {
            if (takeValue(args, i, value)) {
                processInputFile(value, runScripts);
            } else {
                PlatformImpl::showUIError(
                    PlatformImpl::getMessageText(MSG_INPUT_FILE_NAME_MISSING));
                runScripts = false;
            }
        } else if (arg.compare("-qv:version") == 0) {
            PlatformImpl::showUIMessage(kVersion);
            runScripts = false;
        } else if (arg.compare("-qv:help") == 0) {
            printHelp();
            runScripts = false;
        } else if (arg.compare("-qv:javaconsole") == 0) {
            m_showJavaConsole = true;
        } else {
            m_passThroughArgs.push_back(arg);
        }
    }

    if (runScripts) {
        loadFileIndex();
        run();
        PlatformImpl::setUIProgress(100);
    }
    return 0;
}

void Launcher::loadFileIndex() {
    if (m_inputFiles.isIndexLoaded()) {
        return;
    }
    try {
        m_inputFiles.load(true);
    } catch (const LauncherException& e) {
        SString message = PlatformImpl::getMessageText(MSG_UNABLE_TO_LOAD_INDEX);
        throw LauncherException(message += e.m_message);
    }
    failWhenPayloadLost();
}

void Launcher::failWhenPayloadLost() {
    // The bare stub has no payload to lose: it runs as a launcher without embedded files.
    if (!m_inputFiles.hasFileIndex() && isPackedLauncherStub()) {
        throw LauncherException(g_payloadLostMessage);
    }
}

void Launcher::printHelp() {
    // The help is asked for: it goes to standard output even when that is a pipe, and a
    // failed write is not worth a failure.
    // NOLINTNEXTLINE(cert-err33-c): as above.
    std::fputs(kHelp, stdout);
    // NOLINTNEXTLINE(cert-err33-c): as above.
    std::fflush(stdout);
}

void Launcher::processInputFile(const SString& inputFileArgument, bool& runInstructions) {
    TagFile inputFile;
    try {
        SString path(inputFileArgument);
        stripQuotes(path);
        StdioFile input(path.c_str(), "r");
        if (path.empty() || input.get() == nullptr) {
            throw LauncherException(PlatformImpl::getMessageText(MSG_UNABLE_TO_OPEN_INPUT_FILE));
        }
        Log::logMessage(concat("Loading input file ", inputFileArgument), LOG_INFO);
        inputFile.load(input.get(), inputFileArgument, 0, -1);
        Log::setLogFileName(inputFile.getTagValue("LOGFILE", 0));
    } catch (const LauncherException& e) {
        SString shown = PlatformImpl::getMessageText(MSG_COULD_NOT_LOAD_INPUT_FILE);
        PlatformImpl::showUIError(shown += e.m_message);
        throw;
    }

    bool showProgress = inputFile.getBoolTagValue("SHOW_PROGRESS", false);
    bool showFailMsg = inputFile.getBoolTagValue("SHOW_FAIL_MSG", false);
    if (!showProgress && !showFailMsg) {
        // A quiet input file is read by a program that parses standard output: the console
        // title that loading the launch script prints must not end up among the results.
        PlatformImpl::hideUI(0);
    }
    try {
        m_inputFiles.load(inputFile);
    } catch (const LauncherException& e) {
        PlatformImpl::showUIError(e.m_message);
        throw;
    }
    loadFileIndex();

    if (showProgress || showFailMsg) {
        PlatformImpl::showUI();
    } else {
        PlatformImpl::hideUI(0);
    }
    if (showProgress) {
        PlatformImpl::setUIProgress(0);
    }
    performInputAction(inputFile, showProgress, showFailMsg, runInstructions);
}

void Launcher::performInputAction(const TagFile& inputFile, bool showProgress, bool showFailMsg,
                                  bool& runInstructions) {
    SString action = inputFile.getTagValue("ACTION", 0);
    runInstructions = false;
    if (action.compare("RUN_INSTRUCTIONS") == 0) {
        runInstructions = true;
    } else if (action.compare("SEARCH") == 0) {
        search(showProgress, showFailMsg);
        PlatformImpl::setUIProgress(100);
    } else if (action.compare("SEARCH_ALL") == 0) {
        searchAll(showProgress, showFailMsg);
        PlatformImpl::setUIProgress(100);
    } else if (action.compare("VERIFY_JVM") == 0) {
        SString jvmFile = inputFile.getTagValue("VERIFY_JVM_FILE", 0);
        SString jvmHome = inputFile.getTagValue("VERIFY_JVM_HOME", 0);
        if (jvmFile.empty() || jvmHome.empty()) {
            Log::logMessage(
                "TO execute the VERIFY_JVM action, you must also provide values in the input file "
                "for VERIFY_JVM_FILE and VERIFY_JVM_HOME.",
                LOG_ERROR);
        } else {
            verifyJVM(showProgress, showFailMsg, jvmFile, jvmHome);
            PlatformImpl::setUIProgress(100);
        }
    } else if (action.compare("INSTALL_JVM") == 0) {
        SString installer = inputFile.getTagValue("INSTALL_JVM_EXE", 0);
        SString destination = inputFile.getTagValue("INSTALL_JVM_DEST", 0);
        if (!installer.empty() && !destination.empty()) {
            installJVM(showProgress, showFailMsg, installer, destination);
        }
        PlatformImpl::setUIProgress(100);
    } else {
        SString message = PlatformImpl::getMessageText(MSG_INVALID_ACTION);
        message += action;
        PlatformImpl::showUIError(message);
        throw LauncherException(message);
    }
}

void Launcher::run() {
    m_jvmSearchFailure.erase();
    const Instructions* instructions = m_inputFiles.getInstructions();
    if (instructions != nullptr) {
        runInstructions(*instructions);
    }
    // A script that found no JVM and ended without launching has not done what the user
    // started the launcher for, however it ended: the caller must be able to tell.
    if (!m_jvmSearchFailure.empty()) {
        throw LauncherException(m_jvmSearchFailure);
    }
}

void Launcher::runInstructions(const Instructions& instructions) {
    try {
        instructions.execute();
    } catch (const InstructionsException& e) {
        throw LauncherException(concat("Error in instructions. ", e.m_message, " Line number (",
                                       convertToString(e.m_lineNumber), ")"));
    }
}

SString Launcher::getLauncherFileName() {
    return m_launcherFileName;
}

SString Launcher::getOriginalLauncherFileName() {
    return m_origLauncherFileName;
}

SString Launcher::getOriginalLauncherDir() {
    return m_context.originalLauncherDir();
}

const LauncherContext& Launcher::context() {
    return m_context;
}

LauncherInputFiles& Launcher::inputFiles() {
    return m_inputFiles;
}

void Launcher::allowExecInPlace() {
    m_execInPlaceAllowed = true;
}

void Launcher::setLauncherFiles(const SString& launcherFile, const SString& originalFile) {
    m_launcherFileName = launcherFile;
    m_origLauncherFileName = originalFile;
}

void Launcher::resetForTest() {
    m_launcherFileName = SString();
    m_origLauncherFileName = SString();
    m_passThroughArgs.clear();
    m_args.clear();
    m_userJavaHome = SString();
    m_applicationArchive = SString();
    m_showJavaConsole = false;
    m_execInPlaceAllowed = false;
    m_applicationLaunched = false;
    m_applicationExitStatus = 0;
    m_jvmSearchFailure = SString();
    ScriptVariables::resetForTest();
    Log::resetForTest();
}
