// The launcher's JVM and launch actions. They need JVM discovery and the launch script, which
// this build does not have yet: each action fails with a clear message instead of pretending.
#include "launcher/Launcher.h"

namespace {

[[noreturn]] void notAvailable(const char* action) {
    SString message("The ");
    message += action;
    message += " action is not available in this build.";
    throw LauncherException(message);
}

}  // namespace

void Launcher::findJVM(bool, bool) { notAvailable("FIND_JVM"); }
void Launcher::search(bool, bool) { notAvailable("SEARCH"); }
void Launcher::searchAll(bool, bool) { notAvailable("SEARCH_ALL"); }
void Launcher::verifyJVM(bool, bool, long) { notAvailable("VERIFY"); }
void Launcher::verifyJVM(bool, bool, const SString&, const SString&) { notAvailable("VERIFY_JVM"); }
void Launcher::verifyJVM(bool, bool, TagFile&, const SString&) { notAvailable("VERIFY_JVM"); }
void Launcher::installJVM(InstallJVMOption) { notAvailable("INSTALL_JVM"); }
void Launcher::installJVM(bool, bool, const SString&, const SString&) { notAvailable("INSTALL_JVM"); }
void Launcher::initializeUI() { notAvailable("INITIALIZE_UI"); }
void Launcher::launch(const SString&, short) { notAvailable("LAUNCH"); }
void Launcher::ilaunch(long, short) { notAvailable("ILAUNCH"); }
void Launcher::executeEmbeddedLauncher(long) { notAvailable("EXECUTE_LAUNCHER"); }
