#include "base/StringDeque.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherPath.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/TerminationSignals.h"

int main(int argc, char** argv) {
    StringDeque args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(SString(argv[i]));
    }
    ExecutedLauncher executed = findExecutedLauncher(argc > 0 ? argv[0] : nullptr);
    int status;
    {
        // Outlives the launcher, so that a request to stop during cleanup cannot cut it short.
        TerminationSignals terminationSignals;
        // Destroying the launcher removes the run's temporary files.
        Launcher launcher;
        // The real run: its last launch may hand the process over to the application.
        Launcher::allowExecInPlace();
        status = Launcher::process(args, executed.path, executed.openPath);
    }
    // A SIGTERM or SIGHUP that stopped the application ends the launcher as it would a shell.
    return PlatformImpl::finalExitStatus(status);
}
