#include "launcher/LauncherActions.h"

#include "launcher/Launcher.h"

void LauncherActions::findJVM(bool showProgress, bool showFailMsg) {
    Launcher::findJVM(showProgress, showFailMsg);
}

void LauncherActions::verifyJVM(bool showProgress, bool showFailMsg, long fileId) {
    Launcher::verifyJVM(showProgress, showFailMsg, fileId);
}

void LauncherActions::installJVM(InstallJVMOption option) {
    Launcher::installJVM(option);
}

void LauncherActions::initializeUI() {
    Launcher::initializeUI();
}

void LauncherActions::launch(const SString& jvmFilePath, short uiDisplaySeconds) {
    Launcher::launch(jvmFilePath, uiDisplaySeconds);
}

void LauncherActions::ilaunch(long fileId, short uiDisplaySeconds) {
    Launcher::ilaunch(fileId, uiDisplaySeconds);
}

void LauncherActions::executeEmbeddedLauncher(long index) {
    Launcher::executeEmbeddedLauncher(index);
}

LauncherActions& LauncherActions::instance() {
    static LauncherActions actions;
    return actions;
}
