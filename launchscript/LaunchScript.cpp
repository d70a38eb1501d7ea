// Expansion of a launch script's command template: the % functions, the # environment
// references and the parsing of a function's argument list.
#include "launchscript/LaunchScript.h"

#include "base/LauncherException.h"
#include "base/TextUtil.h"
#include "input/JVMFileTags.h"
#include "launchscript/JVMTags.h"
#include "launchscript/TemplateValue.h"
#include "platform/unix/Log.h"
#include "platform/unix/PlatformImpl.h"

namespace {

// The % functions a command template may call. Names match exactly and case-sensitively.
enum Function {
    FUNCTION_REPLACE,
    FUNCTION_RUNTIME_SYSTEMPROP,
    FUNCTION_RUNTIME_JAVAARGS,
    FUNCTION_SYSTEMPROP,
    FUNCTION_CP,
    FUNCTION_IF_EXISTS,
    FUNCTION_LAUNCHER_FILE,
    FUNCTION_LAUNCHER_DIR,
    FUNCTION_APPLICATION_ARCHIVE,
    FUNCTION_TEMP_DIR,
    FUNCTION_ENV_WORDS,
    FUNCTION_CLASS_CACHE,
    FUNCTION_UNKNOWN
};

const struct {
    const char* name;
    Function function;
} kFunctions[] = {{"REPLACE", FUNCTION_REPLACE},
                  {"RUNTIME_SYSTEMPROP", FUNCTION_RUNTIME_SYSTEMPROP},
                  {"RUNTIME_JAVAARGS", FUNCTION_RUNTIME_JAVAARGS},
                  {"SYSTEMPROP", FUNCTION_SYSTEMPROP},
                  {"CP", FUNCTION_CP},
                  {"IF_EXISTS", FUNCTION_IF_EXISTS},
                  {"LAUNCHER_FILE", FUNCTION_LAUNCHER_FILE},
                  {"LAUNCHER_DIR", FUNCTION_LAUNCHER_DIR},
                  {"APPLICATION_ARCHIVE", FUNCTION_APPLICATION_ARCHIVE},
                  {"TEMP_DIR", FUNCTION_TEMP_DIR},
                  {"ENV_WORDS", FUNCTION_ENV_WORDS},
                  {"CLASS_CACHE", FUNCTION_CLASS_CACHE}};

Function findFunction(const SString& name) {
    for (const auto& entry : kFunctions) {
        // A plain search of a small table reads best as a loop.
        // cppcheck-suppress useStlAlgorithm
        if (name.compare(entry.name) == 0) {
            return entry.function;
        }
    }
    return FUNCTION_UNKNOWN;
}

// The states of the argument list scanner.
enum ArgumentState { EXPECT_OPEN, EXPECT_ARGUMENT, EXPECT_SEPARATOR };

SString::size_type skipWhitespace(const SString& text, SString::size_type position) {
    while (position < text.length() && isWhitespace(text[position])) {
        ++position;
    }
    return position;
}

// Where the scan of an argument list stopped, and why.
struct ArgumentScan {
    const char* error = nullptr;  // the parser's message; null when the list was read
    unsigned errorAt = 0;         // where the step that failed began
    bool opened = false;          // the "(" was read
};

// Parses a list ( "a", "b" ) of double-quoted arguments from position, as getArguments
// documents. On an error the scan says which and where; an argument whose closing quote never
// comes throws the text parser's LauncherException.
ArgumentScan scanArguments(const SString& text, unsigned& position, StringDeque& arguments) {
    ArgumentScan scan;
    ArgumentState state = EXPECT_OPEN;
    for (;;) {
        const unsigned stepStart = position;
        position = skipWhitespace(text, position);
        const bool atEnd = position >= text.length();
        const char current = atEnd ? '\0' : text[position];
        switch (state) {
            case EXPECT_OPEN:
                if (!atEnd && current == '(') {
                    ++position;
                    scan.opened = true;
                    state = EXPECT_ARGUMENT;
                } else {
                    scan.error = "Expected left parenthesis.";
                }
                break;
            case EXPECT_ARGUMENT:
                if (!atEnd && current == '"') {
                    ++position;
                    arguments.push_back(parseStringArgument(text, position, true));
                    if (position == SString::npos) {
                        return scan;
                    }
                    state = EXPECT_SEPARATOR;
                } else if (!atEnd && current == ')') {
                    ++position;
                    return scan;
                } else {
                    scan.error = "Expected string arg.";
                }
                break;
            case EXPECT_SEPARATOR:
                if (!atEnd && current == ',') {
                    ++position;
                    state = EXPECT_ARGUMENT;
                } else if (!atEnd && current == ')') {
                    ++position;
                    return scan;
                } else {
                    scan.error = "Expected right parenthesis.";
                }
                break;
        }
        if (scan.error != nullptr) {
            scan.errorAt = stepStart;
            return scan;
        }
    }
}

// The problem of the text from open, where the pairing of % ends: nothing when no % is left
// or the one left is doubled (resolve writes it as one %), else the lone %.
SString unpairedPercent(const SString& text, SString::size_type open) {
    if (open == SString::npos || (open + 1 < text.length() && text[open + 1] == '%')) {
        return SString();
    }
    return concat("an unpaired % at character ", convertToString(static_cast<long>(open)),
                  " (write %% for a literal %)");
}

// The value of an environment variable split at blanks, tabs and line feeds, each word sealed
// so that neither a later pass nor the shell reads anything in it, joined by one blank.
SString sealedWords(const SString& value) {
    SString words;
    SString::size_type at = 0;
    for (;;) {
        at = value.find_first_not_of(" \t\n", at);
        if (at == SString::npos) {
            return words;
        }
        SString::size_type end = value.find_first_of(" \t\n", at);
        if (!words.empty()) {
            words += ' ';
        }
        words += TemplateValue::sealPath(value.substr(at, end == SString::npos ? end : end - at));
        at = end;
    }
}

}  // namespace

SString LaunchScript::resolve(const JVMTags& jvmFile) const {
    // The jvm file is borrowed for this call only, also when a pass throws.
    struct CurrentJVMFile {
        const JVMTags*& slot;
        CurrentJVMFile(const JVMTags*& s, const JVMTags& jvm) : slot(s) { slot = &jvm; }
        ~CurrentJVMFile() { slot = nullptr; }
    } current(m_currentJVMFile, jvmFile);

    SString command = resolveOnce(jvmFile);
    // A class-data archive of the launcher's own next to the user's sharing options could
    // keep the JVM from starting: the user's win.
    if (m_classData.conflictsWith(std::string(command.c_str(), command.length()))) {
        m_classData.withdraw();
        m_classDataWithdrawn = true;
        command = resolveOnce(jvmFile);
        m_classDataWithdrawn = false;
    }
    return command;
}

SString LaunchScript::resolveOnce(const JVMTags& jvmFile) const {
    m_childVariables.clear();
    SString text = MacroHandler::resolve(m_command, '%');
    text = jvmFile.resolveSealed(text);
    text = MacroHandler::resolve(text, '#');
    // The values inserted by the three passes travel sealed until here, where each is quoted
    // for its place in the command line.
    return TemplateValue::toShellCommand(text);
}

SString LaunchScript::environmentValue(const SString& name) const {
    // A class path passed in a variable belongs to the child, but a template that reads it
    // back sees it as if it were set.
    SString prefix(name);
    prefix += '=';
    for (long i = m_childVariables.size() - 1; i >= 0; --i) {
        const SString& variable = m_childVariables.at(i);
        if (variable.compare(0, prefix.length(), prefix) == 0) {
            return variable.substr(prefix.length());
        }
    }
    return PlatformImpl::getEnvironmentVariable(name);
}

void LaunchScript::processMacro(SString& text, char delimiter, unsigned start,
                                unsigned& end) const {
    SString name(text, start + 1, end - start - 1);
    if (delimiter == '#') {
        text.replace(start, end - start + 1, TemplateValue::sealWords(environmentValue(name)));
        return;
    }
    if (delimiter != '%') {
        return;
    }
    if (findFunction(name) == FUNCTION_UNKNOWN) {
        throwException(text, concat("Invalid function name (", name, ")."));
    }
    unsigned position = end + 1;
    StringDeque arguments;
    getArguments(text, position, arguments);
    SString value = callFunction(text, name, arguments);
    // A list whose last argument closed at the very end of the text leaves position at npos:
    // the macro then runs to the end.
    text.replace(start, position == SString::npos ? SString::npos : position - start, value);
}

void LaunchScript::getArguments(const SString& text, unsigned& position,
                                StringDeque& arguments) const {
    const ArgumentScan scan = scanArguments(text, position, arguments);
    if (scan.error != nullptr) {
        throwException(text, concat(scan.error, " (near character ",
                                    convertToString(static_cast<long>(scan.errorAt)), ")"));
    }
}

SString LaunchScript::findTemplateProblem(const SString& text) {
    SString::size_type scanFrom = 0;
    for (;;) {
        const SString::size_type open = text.find('%', scanFrom);
        // resolve pairs a % with the next % after the one beside it, as here.
        const SString::size_type close = open == SString::npos || open + 2 >= text.length()
                                             ? SString::npos
                                             : text.find('%', open + 2);
        if (close == SString::npos) {
            return unpairedPercent(text, open);
        }
        const SString name(text, open + 1, close - open - 1);
        const SString call = concat("%", name, "%");
        if (findFunction(name) == FUNCTION_UNKNOWN) {
            return concat("an unknown function ", call, " at character ",
                          convertToString(static_cast<long>(open)));
        }
        unsigned position = close + 1;
        StringDeque arguments;
        ArgumentScan scan;
        try {
            scan = scanArguments(text, position, arguments);
        } catch (const LauncherException&) {
            // Only an argument whose closing quote never comes throws.
            return concat("an argument list of ", call, " that does not close");
        }
        if (position == SString::npos || (scan.opened && scan.error != nullptr &&
                                          skipWhitespace(text, scan.errorAt) == text.length())) {
            return concat("an argument list of ", call, " that does not close");
        }
        if (scan.error != nullptr) {
            return concat("a bad argument list of ", call, ": ", scan.error, " (near character ",
                          convertToString(static_cast<long>(scan.errorAt)), ")");
        }
        scanFrom = position;
    }
}

void LaunchScript::throwException(const SString& text, const char* message) const {
    throwException(text, SString(message));
}

void LaunchScript::throwException(const SString& text, const SString& message) const {
    Log::logMessage("Launch command:", LOG_INFO);
    Log::logMessage(TemplateValue::open(text), LOG_INFO);
    throw LauncherException(concat("Launch script error: ", message));
}

const JVMTags& LaunchScript::currentJVMFile(const SString& text) const {
    if (m_currentJVMFile == nullptr) {
        throwException(text, "A launch script function was used without a jvm file.");
    }
    return *m_currentJVMFile;
}

void LaunchScript::requireArguments(const SString& text, const StringDeque& arguments,
                                    long expected, const char* message) const {
    if (arguments.size() != expected) {
        throwException(text, message);
    }
}

SString LaunchScript::callFunction(const SString& text, const SString& name,
                                   const StringDeque& arguments) const {
    switch (findFunction(name)) {
        case FUNCTION_REPLACE:
            return replaceFunction(text, arguments);
        case FUNCTION_RUNTIME_SYSTEMPROP:
            requireArguments(text, arguments, 0, "RUNTIME_SYSTEMPROP function takes no arguments.");
            return buildRuntimeSystemProps(&currentJVMFile(text));
        case FUNCTION_RUNTIME_JAVAARGS:
            requireArguments(text, arguments, 0, "RUNTIME_JAVAARGS function takes no arguments.");
            return buildRuntimeJavaArgs(&currentJVMFile(text));
        case FUNCTION_SYSTEMPROP:
            requireArguments(text, arguments, 2, "SYSTEMPROP function requires 2 arguments.");
            return makeSystemProp(&currentJVMFile(text), arguments.at(0), arguments.at(1));
        case FUNCTION_CP:
            return classpathFunction(text, arguments);
        case FUNCTION_IF_EXISTS: {
            requireArguments(text, arguments, 2, "IF_EXISTS function requires 2 arguments.");
            const JVMTags& jvmFile = currentJVMFile(text);
            if (jvmFile.getTagValue(arguments.at(0).c_str()).empty()) {
                return SString();
            }
            return jvmFile.resolveSealed(arguments.at(1));
        }
        case FUNCTION_LAUNCHER_FILE:
            requireArguments(text, arguments, 0, "LAUNCHER_FILE function takes 0 arguments.");
            return TemplateValue::sealPath(m_context.launcherFile());
        case FUNCTION_LAUNCHER_DIR:
            requireArguments(text, arguments, 0, "LAUNCHER_DIR function takes 0 arguments.");
            return TemplateValue::sealPath(m_context.originalLauncherDir());
        case FUNCTION_APPLICATION_ARCHIVE:
            if (arguments.size() > 1) {
                throwException(text, "APPLICATION_ARCHIVE function takes 0 arguments.");
            }
            return TemplateValue::sealPath(arguments.size() == 0
                                               ? m_context.applicationArchive()
                                               : m_context.applicationArchive(arguments.at(0)));
        case FUNCTION_TEMP_DIR: {
            requireArguments(text, arguments, 0, "TEMP_DIR function takes 0 arguments.");
            SString directory = PlatformImpl::getSystemTempDirectory();
            if (stringEndsWith(directory, "\\") != SString::npos) {
                directory.erase(directory.length() - 1);
            }
            return TemplateValue::sealPath(directory);
        }
        case FUNCTION_ENV_WORDS:
            requireArguments(text, arguments, 1, "ENV_WORDS function requires 1 argument.");
            return sealedWords(environmentValue(arguments.at(0)));
        case FUNCTION_CLASS_CACHE:
            return classCacheFunction(text, arguments);
        case FUNCTION_UNKNOWN:
            break;
    }
    return SString();
}

SString LaunchScript::replaceFunction(const SString& text, const StringDeque& arguments) const {
    requireArguments(text, arguments, 3, "REPLACE function requires 3 arguments.");
    const JVMTags& jvmFile = currentJVMFile(text);
    // What is searched for and put in is text, also where it came from a JVM's home.
    const SString from = jvmFile.resolve(arguments.at(0));
    const SString to = jvmFile.resolve(arguments.at(1));
    const SString& source = arguments.at(2);
    // An empty from-text would match at every position without ever advancing.
    if (from.empty()) {
        return source;
    }
    // The search resumes after each inserted copy, so the matches are the non-overlapping
    // occurrences in the text as written, left to right. Building the result in one pass keeps
    // a long text with many matches linear: replacing in place moved the rest of the text at
    // every match.
    SString result;
    SString::size_type rest = 0;
    for (SString::size_type found = source.find(from); found != SString::npos;
         found = source.find(from, rest)) {
        result.append(source, rest, found - rest);
        result += to;
        rest = found + from.length();
        // The length the text has at this point: replaced so far, then the rest as written.
        if (result.length() + (source.length() - rest) > kMaxResolvedLength) {
            throwException(
                text, concat("REPLACE function result is longer than ",
                             convertToString(static_cast<long>(kMaxResolvedLength)), " bytes."));
        }
    }
    result.append(source, rest, SString::npos);
    return result;
}
