#ifndef QV_INSTRUCTIONS_INSTRUCTIONACTIONS_H
#define QV_INSTRUCTIONS_INSTRUCTIONACTIONS_H

#include "base/SString.h"
#include "launcher/Launcher.h"

// The launcher actions that script commands call, one virtual per action. The default
// implementation forwards each call to the static action of Launcher with the same arguments;
// a subclass can stand in for the actions (for example to observe which command called what).
// Failures of an action leave it unchanged, as the action threw them.
class InstructionActions {
public:
    InstructionActions() = default;
    InstructionActions(const InstructionActions&) = delete;
    InstructionActions& operator=(const InstructionActions&) = delete;
    virtual ~InstructionActions();

    // FIND_JVM
    virtual void findJVM(bool showProgress, bool showFailMsg);
    // VERIFY
    virtual void verifyJVM(bool showProgress, bool showFailMsg, long fileId);
    // INSTALL_JVM
    virtual void installJVM(InstallJVMOption option);
    // INITIALIZE_UI
    virtual void initializeUI();
    // LAUNCH
    virtual void launch(const SString& jvmFilePath, short uiDisplaySeconds);
    // ILAUNCH
    virtual void ilaunch(long fileId, short uiDisplaySeconds);
    // EXECUTE_LAUNCHER
    virtual void executeEmbeddedLauncher(long index);

    // Called before each script line runs, with its 0-based index. A script may loop for ever
    // by design: here, a launcher asked to stop by a signal fails with "Stopped by signal";
    // a subclass that must stop a script otherwise (a test or a fuzzer) can count lines and
    // throw. The exception leaves execute before the line runs.
    virtual void beforeLine(long lineIndex);

    // The forwarding instance that scripts use unless told otherwise; lives for the whole run.
    static InstructionActions& launcherActions();
};

#endif  // QV_INSTRUCTIONS_INSTRUCTIONACTIONS_H
