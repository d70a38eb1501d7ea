#include "instructions/InstructionActions.h"

#include "platform/unix/PlatformImpl.h"

InstructionActions::~InstructionActions() = default;

void InstructionActions::findJVM(bool showProgress, bool showFailMsg) {
    Launcher::findJVM(showProgress, showFailMsg);
}

void InstructionActions::verifyJVM(bool showProgress, bool showFailMsg, long fileId) {
    Launcher::verifyJVM(showProgress, showFailMsg, fileId);
}

void InstructionActions::installJVM(InstallJVMOption option) {
    Launcher::installJVM(option);
}

void InstructionActions::initializeUI() {
    Launcher::initializeUI();
}

void InstructionActions::launch(const SString& jvmFilePath, short uiDisplaySeconds) {
    Launcher::launch(jvmFilePath, uiDisplaySeconds);
}

void InstructionActions::ilaunch(long fileId, short uiDisplaySeconds) {
    Launcher::ilaunch(fileId, uiDisplaySeconds);
}

void InstructionActions::executeEmbeddedLauncher(long index) {
    Launcher::executeEmbeddedLauncher(index);
}

// A script may loop for as long as it likes; a launcher asked to stop ends it here.
void InstructionActions::beforeLine(long /*lineIndex*/) {
    PlatformImpl::throwIfTerminating();
}

InstructionActions& InstructionActions::launcherActions() {
    static InstructionActions forwarding;
    return forwarding;
}
