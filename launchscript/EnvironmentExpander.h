#ifndef QV_LAUNCHSCRIPT_ENVIRONMENTEXPANDER_H
#define QV_LAUNCHSCRIPT_ENVIRONMENTEXPANDER_H

#include "base/SString.h"
#include "launchscript/MacroHandler.h"

// Expands #NAME# references to environment variables, as launch scripts do: an unset variable
// gives the empty text and "##" gives "#".
class EnvironmentExpander : public MacroHandler {
public:
    // Throws LauncherException when the expansion does not end (a value that keeps producing
    // references).
    SString expand(const SString& text) const { return resolve(text, '#'); }

    void processMacro(SString& text, char delimiter, unsigned start, unsigned& end) const override;
};

#endif  // QV_LAUNCHSCRIPT_ENVIRONMENTEXPANDER_H
