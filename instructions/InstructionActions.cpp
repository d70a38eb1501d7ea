#include "instructions/InstructionActions.h"

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

void InstructionActions::beforeLine(long /*lineIndex*/) {}

InstructionActions& InstructionActions::launcherActions() {
    static InstructionActions forwarding;
    return forwarding;
}
