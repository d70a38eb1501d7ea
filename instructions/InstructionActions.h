#ifndef QV_INSTRUCTIONS_INSTRUCTIONACTIONS_H
#define QV_INSTRUCTIONS_INSTRUCTIONACTIONS_H

#include "base/SString.h"

// Where INSTALL_JVM puts the JVM carried in the launcher file.
enum InstallJVMOption {
    INSTALL_TO_TEMP_HIDDEN = 0,
    INSTALL_TO_TEMP = 1,
    INSTALL_TO_PROMPTED_DIR = 2
};

// The launcher actions that script commands call, one virtual per action. The launcher's
// implementation (LauncherActions) performs them; a test or a fuzzer stands in for them to
// observe which command called what. Failures of an action leave it unchanged.
class InstructionActions {
public:
    InstructionActions() = default;
    InstructionActions(const InstructionActions&) = delete;
    InstructionActions& operator=(const InstructionActions&) = delete;
    virtual ~InstructionActions();

    // FIND_JVM
    virtual void findJVM(bool showProgress, bool showFailMsg) = 0;
    // VERIFY
    virtual void verifyJVM(bool showProgress, bool showFailMsg, long fileId) = 0;
    // INSTALL_JVM
    virtual void installJVM(InstallJVMOption option) = 0;
    // INITIALIZE_UI
    virtual void initializeUI() = 0;
    // LAUNCH
    virtual void launch(const SString& jvmFilePath, short uiDisplaySeconds) = 0;
    // ILAUNCH
    virtual void ilaunch(long fileId, short uiDisplaySeconds) = 0;
    // EXECUTE_LAUNCHER
    virtual void executeEmbeddedLauncher(long index) = 0;

    // Called before each script line runs, with its 0-based index. A script may loop for ever
    // by design: here, a launcher asked to stop by a signal fails with "Stopped by signal";
    // a subclass that must stop a script otherwise (a test or a fuzzer) can count lines and
    // throw. The exception leaves execute before the line runs.
    virtual void beforeLine(long lineIndex);
};

#endif  // QV_INSTRUCTIONS_INSTRUCTIONACTIONS_H
