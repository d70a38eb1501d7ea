#include <array>
#include <cstddef>

#include "base/StringDeque.h"
#include "input/LauncherLayout.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherPath.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/TerminationSignals.h"

namespace {

// kStubMarkerBare as an array that can initialise a variable (a C array cannot be copied).
constexpr std::array<char, sizeof kStubMarkerBare> bareStubMarker() {
    std::array<char, sizeof kStubMarkerBare> marker{};
    for (std::size_t i = 0; i < marker.size(); ++i) {
        marker[i] = kStubMarkerBare[i];
    }
    return marker;
}

}  // namespace

// The payload marker in the stub's data (input/LauncherLayout.h), found and overwritten by
// qvpack in every launcher it makes. External linkage keeps it in the executable.
extern const volatile std::array<char, sizeof kStubMarkerBare> g_stubPayloadMarker;
// NOLINTNEXTLINE(cert-err58-cpp): constant initialization; nothing runs at start-up.
const volatile std::array<char, sizeof kStubMarkerBare> g_stubPayloadMarker = bareStubMarker();

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
        status = Launcher::process(args, executed.path, executed.openPath);
    }
    // A SIGTERM or SIGHUP that stopped the application ends the launcher as it would a shell.
    return PlatformImpl::finalExitStatus(status);
}
