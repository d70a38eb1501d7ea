#ifndef QV_INSTRUCTIONS_SCRIPTVARIABLES_H
#define QV_INSTRUCTIONS_SCRIPTVARIABLES_H

#include "base/SString.h"

// The run's variables: strings S1..S10 and numbers N1..N5, all empty or 0 when the run starts.
// Instruction scripts read and set them; the JVM actions leave their results in them (N1, S1,
// S2), where the next script line reads them.
class ScriptVariables {
public:
    static const long kStringVariables = 10;
    static const long kNumericVariables = 5;

    static bool isValidStringVariable(long n) { return n >= 1 && n <= kStringVariables; }
    static bool isValidLongVariable(long n) { return n >= 1 && n <= kNumericVariables; }
    // A bad number throws LauncherException "Invalid string variable number: <n>" (or
    // "Invalid numeric variable number: <n>").
    static SString getStringVariable(long n);
    static void setStringVariable(long n, const SString& value);
    static long getLongVariable(long n);
    static void setLongVariable(long n, long value);

    // Test hook: every variable back to empty or 0, as a new run finds them.
    static void resetForTest();

private:
    static SString s_strings[kStringVariables];
    static long s_numbers[kNumericVariables];
};

#endif  // QV_INSTRUCTIONS_SCRIPTVARIABLES_H
