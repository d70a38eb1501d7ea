#ifndef QV_INSTRUCTIONS_VARIABLEREF_H
#define QV_INSTRUCTIONS_VARIABLEREF_H

#include "base/SString.h"

// A parsed reference to one launcher variable as scripts write it: S1..S10 (strings) or N1..N5
// (numbers), the letter in either case. It holds no value: reads and writes go to the
// variables kept by Launcher. Valid only after a successful init.
//
// Every failure is a LauncherException whose message starts with the caller's prefix; callers
// that need a script line number convert it themselves.
class VariableRef {
public:
    // Parses reference ("n3", "S10"). The number is read as a decimal number after the letter
    // (leading white space allowed, trailing characters ignored), so "S01", "S1x" and "S 1" all
    // name S1. Throws LauncherException (prefix + " " + reason) for a reference shorter than two
    // characters, a letter other than N or S, or a number out of range; kind and number are left
    // unchanged then.
    void init(const SString& reference, const SString& prefix);

    // Stores value into the variable: a string variable takes it unchanged, a numeric variable
    // takes the decimal number that starts it. Throws LauncherException (prefix + " Invalid
    // numeric expression in " + value) when a numeric variable gets no number; nothing is
    // stored then.
    void setValue(const SString& value, const SString& prefix) const;

    // The variable's value as text; a number is written in signed decimal.
    SString getStringValue() const;

    // The value of a numeric variable. Throws LauncherException (prefix + " into a numeric
    // value.") for a string variable.
    long getNumericValue(const SString& prefix) const;

    // 'N' or 'S' (upper case), or '\0' before init.
    char kind() const { return m_kind; }
    // 1..5 for N, 1..10 for S, or 0 before init.
    long number() const { return m_number; }

private:
    bool isNumeric() const { return m_kind == 'N'; }

    char m_kind = '\0';
    long m_number = 0;
};

#endif  // QV_INSTRUCTIONS_VARIABLEREF_H
