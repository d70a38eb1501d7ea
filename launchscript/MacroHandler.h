#ifndef QV_LAUNCHSCRIPT_MACROHANDLER_H
#define QV_LAUNCHSCRIPT_MACROHANDLER_H

#include "base/SString.h"

// Scans a text for macros written between two equal delimiter characters ("%CP%", "@DESC@",
// "#HOME#") and lets the derived class replace each one. LaunchScript and JVMFile derive
// from it.
class MacroHandler {
public:
    // One expansion gives up after this many replacements or when its text grows past
    // kMaxResolvedLength bytes: a value that reproduces its own macro would otherwise never
    // end. Any finite expansion within both bounds succeeds; at worst (every replacement near
    // the start of a text of the greatest length) it moves about 10 GB in memory, a fraction of
    // a second. The replacements of the resolves nested in a macro (a % function that expands a
    // value against the jvm file) count towards the expansion that called them.
    static const unsigned kMaxReplacements = 10000;
    static const unsigned kMaxResolvedLength = 1024 * 1024;

    MacroHandler() = default;
    MacroHandler(const MacroHandler&) = delete;
    MacroHandler& operator=(const MacroHandler&) = delete;
    virtual ~MacroHandler() = default;

    // Returns a copy of text in which every macro delimited by delimiter was handed to
    // processMacro. After each replacement the scan starts again at the macro's position, so
    // inserted text is scanned in turn. A closing delimiter is looked for from two characters
    // after the opening one, so a doubled delimiter is not a macro: it pairs with the next
    // delimiter further on. Finally each doubled delimiter left in the text becomes one.
    // Throws LauncherException "Launch script error: ..." past the bounds above, and passes on
    // whatever processMacro throws.
    SString resolve(const SString& text, char delimiter) const;

    // Replaces the macro whose opening delimiter is at start and whose closing delimiter is at
    // end (the name lies strictly between them). The scan goes on from start afterwards.
    virtual void processMacro(SString& text, char delimiter, unsigned start,
                              unsigned& end) const = 0;
};

#endif  // QV_LAUNCHSCRIPT_MACROHANDLER_H
