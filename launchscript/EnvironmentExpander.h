#ifndef QV_LAUNCHSCRIPT_ENVIRONMENTEXPANDER_H
#define QV_LAUNCHSCRIPT_ENVIRONMENTEXPANDER_H

#include "base/SString.h"
#include "launchscript/MacroHandler.h"

// Expands #NAME# references to environment variables, as launch scripts do: an unset variable
// gives the empty text and "##" gives "#". A value is inserted as it is and never read as
// further references.
class EnvironmentExpander : public MacroHandler {
public:
    // Throws LauncherException when the expansion is too long.
    SString expand(const SString& text) const;

    void processMacro(SString& text, char delimiter, unsigned start, unsigned& end) const override;
};

#endif  // QV_LAUNCHSCRIPT_ENVIRONMENTEXPANDER_H
