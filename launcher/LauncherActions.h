#ifndef QV_LAUNCHER_LAUNCHERACTIONS_H
#define QV_LAUNCHER_LAUNCHERACTIONS_H

#include "instructions/InstructionActions.h"

// The actions of the launcher's own instruction scripts: each forwards to the Launcher action
// of the same name with the same arguments.
class LauncherActions : public InstructionActions {
public:
    void findJVM(bool showProgress, bool showFailMsg) override;
    void verifyJVM(bool showProgress, bool showFailMsg, long fileId) override;
    void installJVM(InstallJVMOption option) override;
    void initializeUI() override;
    void launch(const SString& jvmFilePath, short uiDisplaySeconds) override;
    void ilaunch(long fileId, short uiDisplaySeconds) override;
    void executeEmbeddedLauncher(long index) override;

    // The one instance; lives for the whole run.
    static LauncherActions& instance();
};

#endif  // QV_LAUNCHER_LAUNCHERACTIONS_H
