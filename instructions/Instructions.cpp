#include "instructions/Instructions.h"

#include "base/LauncherException.h"
#include "base/TextUtil.h"
#include "input/TagFile.h"
#include "instructions/InstructionActions.h"
#include "instructions/InstructionsException.h"
#include "instructions/VariableRef.h"

const char* const Instructions::g_instructionsTag = "INSTRUCTIONS";
const char* const Instructions::g_quietTag = "QUIET";

namespace {

// Bounds on one evaluation, so that a variable whose value refers back to itself (S1 = x@S1@)
// fails instead of growing its text for ever.
const unsigned kMaxSubstitutions = 10000;
const SString::size_type kMaxExpressionLength = 1024 * 1024;

const char kFindJVMFirst[] =
    "The first argument to FIND_JVM should be a 1 if the UI should be displayed or a 0 if the UI "
    "should be suppressed.";
const char kFindJVMSecond[] =
    "The second argument to FIND_JVM should be a 1 if a find failure message should be "
    "displayed in a UI or 0 if no message should be displayed.";
const char kVerifyFirst[] =
    "The first argument to VERIFY should be a 1 if the UI should be displayed or a 0 if the UI "
    "should be suppressed.";
const char kVerifySecond[] =
    "The second argument to VERIFY should be a 1 if a find failure message should be displayed "
    "in a UI or 0 if no message should be displayed.";
const char kVerifyThird[] =
    "The third argument to VERIFY should be the file index number of the jvm file.";
const char kInstallJVMOption[] = "The first argument to INSTALL_JVM should be a 0, 1 or 2.";
const char kILaunchFileId[] =
    "The first argument to ILAUNCH should be the file index number of the jvm file.";
const char kILaunchSeconds[] =
    "The second argument to ILAUNCH should be the number of seconds to display the UI during "
    "the launch.";
const char kLaunchSeconds[] =
    "The second argument to LAUNCH should be the number of seconds to display the UI during "
    "the launch.";
const char kLaunchFileName[] = "Invalid jvm file name specified in LAUNCH.";
const char kGotoLabel[] = "The GOTO command requires a label as its only argument.";
const char kJmp0Value[] = "The second argument to JMP0 must be numeric.";
const char kJmp0Label[] = "JMP0 requires a jump label as its second argument.";
const char kSetLeftSide[] = "Invalid variable specified on left hand side of SET statement.";
const char kSetExpression[] = "Invalid expression specified for SET command";
const char kSetValue[] = "Invalid value specified for SET command";

SString nextWord(const SString& line, unsigned& pos) {
    bool unused = false;
    return getTokenFromString(line, pos, unused);
}

SString trimmed(const SString& text, SString::size_type pos, SString::size_type count) {
    SString part(text, pos, count);
    trim(part, whitespaceChars);
    return part;
}

// Collects one argument of a command line for the reader form of evalStringExpr: a quoted
// argument with its quotes, or a bare word. Returns false when the line ends inside quotes.
bool collectArgument(const SString& line, unsigned& pos, SString& collected) {
    const SString::size_type length = line.length();
    while (pos < length && isWhitespace(line[pos])) {
        ++pos;
    }
    if (pos >= length) {
        return true;
    }
    if (line[pos] != '"') {
        while (pos < length) {
            char c = line[pos++];
            if (isWhitespace(c)) {
                return true;
            }
            collected += c;
        }
        return true;
    }
    collected += line[pos++];
    // Inside the quotes a doubled quote stands for one; the argument closes at a quote that
    // ends an odd-length run of quotes.
    unsigned quoteRun = 0;
    while (pos < length) {
        char c = line[pos++];
        collected += c;
        if (c != '"') {
            quoteRun = 0;
            continue;
        }
        ++quoteRun;
        bool runEnds = pos >= length || line[pos] != '"';
        if (runEnds && quoteRun % 2 == 1) {
            return true;
        }
        if (runEnds) {
            quoteRun = 0;
        }
    }
    return false;
}

}  // namespace

Instructions::Instructions(const TagFile& script, InstructionActions& actions)
    : m_script(&script), m_currentLine(0), m_executing(false), m_actions(&actions) {}

void Instructions::setActions(InstructionActions& actions) {
    m_actions = &actions;
}

bool Instructions::isQuiet() const {
    return m_script->getBoolTagValue(g_quietTag, false);
}

long Instructions::lineCount() const {
    return static_cast<long>(m_script->getTagValueCount(g_instructionsTag));
}

// ---- Execution

void Instructions::execute() const {
    const long count = lineCount();
    m_executing = true;
    try {
        for (m_currentLine = 0; m_currentLine < count; ++m_currentLine) {
            m_actions->beforeLine(m_currentLine);
            executeLine(
                m_script->getTagValue(g_instructionsTag, static_cast<unsigned>(m_currentLine)));
        }
    } catch (...) {
        m_executing = false;
        throw;
    }
    m_executing = false;
}

bool Instructions::endsWithCurrentLine() const {
    if (!m_executing) {
        return false;
    }
    const long count = lineCount();
    for (long i = m_currentLine + 1; i < count; ++i) {
        unsigned pos = 0;
        SString command =
            nextWord(m_script->getTagValue(g_instructionsTag, static_cast<unsigned>(i)), pos);
        // An empty line is an error, which would still be reported after the current line.
        if (command.compare("//") != 0 && (command.empty() || command.c_str()[0] != ':')) {
            return false;
        }
    }
    return true;
}

void Instructions::executeLine(const SString& line) const {
    unsigned pos = 0;
    SString command = nextWord(line, pos);
    if (command.empty()) {
        throwException("No command specified.");
    }
    if (command.c_str()[0] == ':') {
        return;
    }
    if (!executeCommand(command, line, pos)) {
        throwException(concat("Invalid command (", command, "). "));
    }
}

bool Instructions::executeCommand(const SString& command, const SString& line,
                                  unsigned& pos) const {
    if (command.compare("//") == 0) {
        // A comment.
    } else if (command.compare("FIND_JVM") == 0) {
        executeFindJVM(line, pos);
    } else if (command.compare("VERIFY") == 0) {
        executeVerify(line, pos);
    } else if (command.compare("INSTALL_JVM") == 0) {
        executeInstallJVM(line, pos);
    } else if (command.compare("INITIALIZE_UI") == 0) {
        m_actions->initializeUI();
    } else if (command.compare("LAUNCH") == 0) {
        executeLaunch(line, pos);
    } else if (command.compare("ILAUNCH") == 0) {
        executeILaunch(line, pos);
    } else if (command.compare("EXECUTE_LAUNCHER") == 0) {
        executeEmbeddedLauncher(line, pos);
    } else if (command.compare("GOTO") == 0) {
        executeGoto(line, pos);
    } else if (command.compare("JMP0") == 0) {
        executeJmp0(line, pos);
    } else if (command.compare("SET") == 0) {
        executeSet(line, pos);
    } else {
        return false;
    }
    return true;
}

SString Instructions::requireWord(const SString& line, unsigned& pos,
                                  const char* missingMessage) const {
    SString word = nextWord(line, pos);
    if (word.empty()) {
        throwException(missingMessage);
    }
    return word;
}

void Instructions::executeFindJVM(const SString& line, unsigned& pos) const {
    bool showProgress = evalBoolExpr(requireWord(line, pos, kFindJVMFirst), SString());
    bool showFailMsg = evalBoolExpr(requireWord(line, pos, kFindJVMSecond), SString());
    m_actions->findJVM(showProgress, showFailMsg);
}

void Instructions::executeVerify(const SString& line, unsigned& pos) const {
    bool showProgress = evalBoolExpr(requireWord(line, pos, kVerifyFirst), SString());
    bool showFailMsg = evalBoolExpr(requireWord(line, pos, kVerifySecond), SString());
    long fileId = evalLongExpr(requireWord(line, pos, kVerifyThird), SString());
    m_actions->verifyJVM(showProgress, showFailMsg, fileId);
}

void Instructions::executeInstallJVM(const SString& line, unsigned& pos) const {
    long option = evalLongExpr(requireWord(line, pos, kInstallJVMOption), SString());
    if (option < INSTALL_TO_TEMP_HIDDEN || option > INSTALL_TO_PROMPTED_DIR) {
        throwException(kInstallJVMOption);
    }
    m_actions->installJVM(static_cast<InstallJVMOption>(option));
}

void Instructions::executeLaunch(const SString& line, unsigned& pos) const {
    SString jvmFilePath;
    evalStringExpr(line, pos, jvmFilePath, kLaunchFileName);
    short seconds = evalShortExpr(requireWord(line, pos, kLaunchSeconds), SString());
    m_actions->launch(jvmFilePath, seconds);
}

void Instructions::executeILaunch(const SString& line, unsigned& pos) const {
    long fileId = evalLongExpr(requireWord(line, pos, kILaunchFileId), SString());
    short seconds = evalShortExpr(requireWord(line, pos, kILaunchSeconds), SString());
    m_actions->ilaunch(fileId, seconds);
}

void Instructions::executeEmbeddedLauncher(const SString& line, unsigned& pos) const {
    // The same text as ILAUNCH's first argument: both name a position in the file index.
    long index = evalLongExpr(requireWord(line, pos, kILaunchFileId), SString());
    m_actions->executeEmbeddedLauncher(index);
}

void Instructions::executeGoto(const SString& line, unsigned& pos) const {
    m_currentLine = gotoLabel(requireWord(line, pos, kGotoLabel));
}

void Instructions::executeJmp0(const SString& line, unsigned& pos) const {
    // The value is evaluated before the label is read: a line without either fails on the
    // value.
    long value = evalLongExpr(nextWord(line, pos), kJmp0Value);
    SString label = requireWord(line, pos, kJmp0Label);
    if (value == 0) {
        m_currentLine = gotoLabel(label);
    }
}

void Instructions::executeSet(const SString& line, unsigned pos) const {
    if (pos > line.length()) {
        throwException("Malformed SET statement.");
    }
    SString statement = trimmed(line, pos, SString::npos);
    SString::size_type equals = statement.find('=');
    if (equals == SString::npos) {
        throwException("SET statement is missing =.");
    }
    try {
        assignVariable(statement, equals);
    } catch (const LauncherException& e) {
        // Give reference and conversion errors the SET line's number.
        throwException(e.m_message);
    }
}

void Instructions::assignVariable(const SString& statement, SString::size_type equals) const {
    VariableRef variable;
    variable.init(trimmed(statement, 0, equals), kSetLeftSide);
    SString value = trimmed(statement, equals + 1, SString::npos);
    evalStringExpr(value, kSetExpression);
    variable.setValue(value, kSetValue);
}

long Instructions::gotoLabel(const SString& label) const {
    SString target = concat(":", label);
    evalExpr(target, "Invalid label specified.");
    if (target.length() == 1) {
        throwException(
            concat("Label ", label, " resolved to a blank string. Labels cannot be blank."));
    }
    const long count = lineCount();
    for (long index = 0; index < count; ++index) {
        if (m_script->getTagValue(g_instructionsTag, static_cast<unsigned>(index))
                .compare(target) == 0) {
            return index;
        }
    }
    throwException(concat("Label not found (", label, ")"));
}

// ---- Evaluation

void Instructions::evalExpr(SString& text, const SString& prefix) const {
    SString errorText(prefix);
    errorText += " ";
    if (text.empty()) {
        throwException(concat(errorText, "Empty expression."));
    }
    const SString original(text);
    // One scan from left to right. A variable's value is data (a JVM's home, a temporary path
    // that may hold "@"): it is inserted as it is and the scan goes on after it, so nothing in
    // a value is ever read as a reference.
    unsigned substitutions = 0;
    SString::size_type at = text.find('@');
    while (at != SString::npos) {
        SString::size_type closing = text.find('@', at + 1);
        if (closing == SString::npos) {
            throwException(concat(errorText, "Invalid variable specification."));
        }
        if (closing == at + 1) {
            // "@@" stands for one literal "@".
            text.erase(closing, 1);
            at = text.find('@', at + 1);
            continue;
        }
        VariableRef variable;
        variable.init(SString(text, at + 1, closing - at - 1), prefix);
        SString value = variable.getStringValue();
        SString::size_type referenceLength = closing - at + 1;
        if (++substitutions > kMaxSubstitutions) {
            throwException(
                concat(errorText, "Too many variable substitutions in (", original, ")."));
        }
        // Only growth is bounded: a long text given to us may still shrink.
        if (value.length() > referenceLength &&
            text.length() - referenceLength + value.length() > kMaxExpressionLength) {
            throwException(concat(errorText, "Variable substitution in (", original,
                                  ") gives a text longer than 1048576 bytes."));
        }
        text.replace(at, referenceLength, value);
        at = text.find('@', at + value.length());
    }
}

void Instructions::evalStringExpr(SString& text, const SString& prefix) const {
    if (text.empty()) {
        return;
    }
    if (text.c_str()[0] == '"') {
        unsigned pos = 1;
        text = parseStringArgument(text, pos, true);
    } else {
        SString::size_type blank = text.find_first_of(whitespaceChars);
        if (blank != SString::npos) {
            text.erase(blank);
        }
    }
    evalExpr(text, prefix);
}

void Instructions::evalStringExpr(const SString& line, unsigned& pos, SString& result,
                                  const SString& prefix) const {
    SString collected;
    if (!collectArgument(line, pos, collected)) {
        throw LauncherException(concat("Expected ending quote in ", collected, ":  ", prefix));
    }
    evalStringExpr(collected, prefix);
    result = collected;
}

long Instructions::evalLongExpr(const SString& text, const SString& prefix) const {
    SString substituted(text);
    evalExpr(substituted, prefix);
    long value = -1;
    if (!convertToLong(substituted, value)) {
        throwException(concat(prefix, "Invalid numeric expression (", substituted, ")"));
    }
    return value;
}

short Instructions::evalShortExpr(const SString& text, const SString& prefix) const {
    SString substituted(text);
    evalExpr(substituted, prefix);
    short value = -1;
    if (!convertToShort(substituted, value)) {
        throwException(concat(prefix, " Invalid numeric expression (", substituted, ")"));
    }
    return value;
}

bool Instructions::evalBoolExpr(const SString& text, const SString& prefix) const {
    long value = evalLongExpr(text, prefix);
    if (value != 0 && value != 1) {
        throwException(concat(prefix, " Invalid boolean value (", text, ")"));
    }
    return value == 1;
}

void Instructions::throwException(const SString& message) const {
    throw InstructionsException(message, m_currentLine + 1);
}
