#ifndef QV_TESTS_SUPPORT_LAUNCHERTESTSUPPORT_H
#define QV_TESTS_SUPPORT_LAUNCHERTESTSUPPORT_H

// Helpers for the unit tests, which link the product code: its strings as std::string for
// comparisons, and a clean slate of launcher variables. Used by tests only.

#include <string>

#include "base/SString.h"
#include "launcher/Launcher.h"

namespace qvtest {

inline std::string str(const SString& text) {
    return std::string(text.data(), text.length());
}

// Empties every string variable and zeroes every numeric one, as a fresh launcher has them.
inline void resetLauncherVariables() {
    for (long n = 1; n <= Launcher::kStringVariables; ++n) {
        Launcher::setStringVariable(n, SString());
    }
    for (long n = 1; n <= Launcher::kNumericVariables; ++n) {
        Launcher::setLongVariable(n, 0);
    }
}

}  // namespace qvtest

#endif  // QV_TESTS_SUPPORT_LAUNCHERTESTSUPPORT_H
