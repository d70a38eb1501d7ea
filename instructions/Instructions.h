#ifndef QV_INSTRUCTIONS_INSTRUCTIONS_H
#define QV_INSTRUCTIONS_INSTRUCTIONS_H

#include "base/SString.h"

class InstructionActions;
class TagFile;

// The interpreter of an instruction script: the values of the tag INSTRUCTIONS of a tag file,
// one command per value, executed from the first line to the last. Commands call the launcher
// actions and read and set the launcher variables S1..S10 and N1..N5; GOTO and JMP0 move to
// label lines (":name").
//
// Failures: errors of the script itself are thrown as InstructionsException carrying the
// 1-based number of the line being executed. A LauncherException raised while an argument is
// evaluated (a bad variable reference, an unterminated quote) leaves unchanged, without a line
// number, except inside SET, which converts it. Exceptions of the actions pass through.
class Instructions {
public:
    // The tag that holds the script lines: "INSTRUCTIONS".
    static const char* const g_instructionsTag;
    // The tag beside it that, set to 1, asks for a quiet console: "QUIET".
    static const char* const g_quietTag;

    // Keeps references to script and actions, which the caller owns and keeps alive as long
    // as this object. Commands call actions.
    Instructions(const TagFile& script, InstructionActions& actions);
    Instructions(const Instructions&) = delete;
    Instructions& operator=(const Instructions&) = delete;
    ~Instructions() = default;

    // Makes the commands call actions (not owned; must outlive every execute) from now on.
    void setActions(InstructionActions& actions);

    // True when the script's tag file carries QUIET: 1: the launcher that runs it keeps its
    // own words off standard output, which then belongs to the application alone.
    bool isQuiet() const;

    // Runs the script from its first line until it runs past its last. The first failure ends
    // the run; what earlier lines did (variables set, actions done) remains. A script that
    // jumps back without end runs for ever, as written.
    void execute() const;

    // While execute runs: true when every line after the current one is a label or a comment,
    // so that the script is done once the current line's command returns. False outside
    // execute. The launcher asks it to know whether a launch is its last act.
    bool endsWithCurrentLine() const;

    // The 0-based index of the first line whose whole text is ":" + label after variable
    // substitution. Throws InstructionsException when the label evaluates to nothing or no line
    // carries it.
    long gotoLabel(const SString& label) const;

    // ---- Evaluation of command arguments. prefix is put in front of the error messages.

    // Replaces every variable reference "@S1@" / "@n2@" in text by the variable's value and
    // "@@" by one "@", in one scan: an inserted value is never read for references. Throws
    // InstructionsException for an empty text, an "@" without a partner, more than 10,000
    // references or a text grown past 1 MiB; LauncherException for a bad reference.
    void evalExpr(SString& text, const SString& prefix) const;

    // Turns text into one string argument: a leading double-quoted argument loses its quotes
    // (doubled quotes stand for one, the rest is dropped), anything else is cut at its first
    // white space; then evalExpr. An empty text stays empty. Throws LauncherException for a
    // missing closing quote.
    void evalStringExpr(SString& text, const SString& prefix) const;

    // Reads one argument from line at pos, skipping white space first: a quoted argument (it
    // may hold blanks; pos ends just after its closing quote) or a bare word (pos ends just
    // after the white space that ends it). The argument goes through the form above into
    // result. Throws LauncherException ("Expected ending quote in ...") when the line ends
    // inside quotes.
    void evalStringExpr(const SString& line, unsigned& pos, SString& result,
                        const SString& prefix) const;

    // The substituted text read as a decimal number (trailing characters ignored). Throw
    // InstructionsException when no number starts it.
    long evalLongExpr(const SString& text, const SString& prefix) const;
    short evalShortExpr(const SString& text, const SString& prefix) const;
    // evalLongExpr that must give 0 (false) or 1 (true).
    bool evalBoolExpr(const SString& text, const SString& prefix) const;

    // Throws InstructionsException with message and the number of the current line.
    [[noreturn]] void throwException(const SString& message) const;

private:
    void executeLine(const SString& line) const;
    // Carries out a command word other than a label; false when the word is no command.
    bool executeCommand(const SString& command, const SString& line, unsigned& pos) const;
    // The next word of line, or InstructionsException(missingMessage) when none is left.
    SString requireWord(const SString& line, unsigned& pos, const char* missingMessage) const;

    void executeFindJVM(const SString& line, unsigned& pos) const;
    void executeVerify(const SString& line, unsigned& pos) const;
    void executeInstallJVM(const SString& line, unsigned& pos) const;
    void executeLaunch(const SString& line, unsigned& pos) const;
    void executeILaunch(const SString& line, unsigned& pos) const;
    void executeEmbeddedLauncher(const SString& line, unsigned& pos) const;
    void executeGoto(const SString& line, unsigned& pos) const;
    void executeJmp0(const SString& line, unsigned& pos) const;
    void executeSet(const SString& line, unsigned pos) const;
    // SET without its first checks: parse, evaluate and store "variable = value".
    void assignVariable(const SString& statement, SString::size_type equals) const;

    long lineCount() const;

    const TagFile* m_script;
    // 0-based index of the line being executed; moved by execute and the jumps.
    mutable long m_currentLine;
    // True while execute runs.
    mutable bool m_executing;
    InstructionActions* m_actions;
};

#endif  // QV_INSTRUCTIONS_INSTRUCTIONS_H
