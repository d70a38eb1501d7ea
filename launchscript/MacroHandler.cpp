#include "launchscript/MacroHandler.h"

#include "base/LauncherException.h"
#include "base/TextUtil.h"

namespace {

[[noreturn]] void throwEndlessExpansion(char delimiter, unsigned limit, const char* unit) {
    throw LauncherException(concat("Launch script error: The expansion of ", delimiter,
                                   " macros stopped at ", convertToString(static_cast<long>(limit)),
                                   unit, "; a value keeps producing new macros."));
}

// A doubled delimiter stands for one: drop the first of each pair and go on after the second.
void collapseDoubledDelimiters(SString& text, char delimiter) {
    const char pair[2] = {delimiter, delimiter};
    SString::size_type found = text.find(pair, 0, 2);
    while (found != SString::npos) {
        text.erase(found, 1);
        found = text.find(pair, found + 1, 2);
    }
}

// What the expansion in progress has used so far. A resolve called from inside a macro
// shares the budget of the outermost one, which starts it afresh. The launcher has one thread.
struct ExpansionBudget {
    unsigned depth = 0;
    unsigned replacements = 0;
};
ExpansionBudget g_expansionBudget;

class ExpansionScope {
public:
    ExpansionScope() {
        if (g_expansionBudget.depth++ == 0) {
            g_expansionBudget.replacements = 0;
        }
    }
    ExpansionScope(const ExpansionScope&) = delete;
    ExpansionScope& operator=(const ExpansionScope&) = delete;
    ~ExpansionScope() { --g_expansionBudget.depth; }
};

}  // namespace

SString MacroHandler::resolve(const SString& text, char delimiter) const {
    ExpansionScope scope;
    SString expanded(text);
    SString::size_type open = expanded.find(delimiter);
    while (open != SString::npos && open + 2 < expanded.length()) {
        unsigned close = expanded.find(delimiter, open + 2);
        if (close == SString::npos) {
            break;
        }
        if (g_expansionBudget.replacements == kMaxReplacements) {
            throwEndlessExpansion(delimiter, kMaxReplacements, " replacements");
        }
        ++g_expansionBudget.replacements;
        processMacro(expanded, delimiter, open, close);
        if (expanded.length() > kMaxResolvedLength) {
            throwEndlessExpansion(delimiter, kMaxResolvedLength, " bytes");
        }
        open = expanded.find(delimiter, open);
    }
    collapseDoubledDelimiters(expanded, delimiter);
    return expanded;
}
