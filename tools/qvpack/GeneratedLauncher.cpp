#include "tools/qvpack/GeneratedLauncher.h"

#include <cstring>

#include "base/TextUtil.h"
#include "launchscript/TemplateValue.h"

namespace {

// The Java versions whose Debian packages have a home of their own, newest first.
const char* const kDebianJavaVersions[] = {"25", "21", "17", "11", "8"};

// Bytes that neither the launcher's passes (%, @, #) nor the shell read anything in.
bool isPlainCommandByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr("_-.,:+=/", c) != nullptr);
}

// value as one word of the command template, reaching java as exactly its bytes.
SString commandWord(const SString& value) {
    for (SString::size_type i = 0; i < value.length(); ++i) {
        if (!isPlainCommandByte(value[i])) {
            return TemplateValue::sealPath(value);
        }
    }
    return value;
}

// "NAME: value\n", the value quoted (its quotes doubled) when reading it back bare would
// change it: empty, starting with a quote, or with blanks at an end.
SString tagLine(const char* name, const SString& value) {
    const bool quoted = value.empty() || value[0] == '"' || isWhitespace(value[0]) ||
                        isWhitespace(value[value.length() - 1]);
    if (!quoted) {
        return concat(name, ": ", value, "\n");
    }
    SString doubled;
    for (SString::size_type i = 0; i < value.length(); ++i) {
        doubled += value[i];
        if (value[i] == '"') {
            doubled += '"';
        }
    }
    return concat(name, ": \"", doubled, "\"\n");
}

}  // namespace

SString generatedInstructions() {
    return "QUIET: 1\n"
           "INSTRUCTIONS:\n"
           "FIND_JVM 0 0\n"
           "JMP0 @N1@ end\n"
           "LAUNCH @S2@ 0\n"
           ":end\n"
           "/:\n";
}

SString generatedJvmFile(const GeneratedLauncher& launcher, const char* arch) {
    SString text = tagLine("DESC", describeJavaRange(launcher.javaRange));
    text +=
        "JVM_EXE: bin/java\n"
        "PATH_HINT:\n"
        "#JAVA_HOME#\n"
        "<PATH>\n"
        "usr/lib/jvm/default-java\n";
    for (const char* version : kDebianJavaVersions) {
        if (arch != nullptr) {
            text += concat("usr/lib/jvm/java-", version, "-openjdk-", arch, "\n");
        }
    }
    text +=
        "usr/lib/jvm/java\n"
        "usr/java/latest\n"
        "/:\n"
        "JVM_PROPERTIES:\n";
    text += concat("java.specification.version=", launcher.javaRange, "\n/:\n");
    if (launcher.searchDisk) {
        text += "SEARCH_ALL: 1\n";
    }
    text +=
        "CLASSPATH: \"-classpath \"\n"
        "CLASSPATH_SEPARATOR: :\n"
        "SYSTEM: -D\n"
        "SYSTEM_SEPARATOR: =\n";
    return text;
}

SString generatedCommand(const GeneratedLauncher& launcher) {
    SString command =
        "exec \"@JVM_HOME@/@JVM_EXE@\" %CLASS_CACHE%() %RUNTIME_SYSTEMPROP%() %RUNTIME_JAVAARGS%()";
    for (const SString& option : launcher.javaOptions) {
        // Appending to one string reads best as a loop.
        // cppcheck-suppress useStlAlgorithm
        command += concat(" ", commandWord(option));
    }
    command +=
        concat(" %ENV_WORDS%(\"JAVA_OPTS\") %ENV_WORDS%(\"", optionsVariableName(launcher.name),
               "\") %CP%() ", commandWord(launcher.mainClass));
    return command;
}

SString generatedLaunchScript(const GeneratedLauncher& launcher) {
    return concat(tagLine("DESC", launcher.name), tagLine("COMMAND", generatedCommand(launcher)),
                  "DISPLAY_CONSOLE: 1\n"
                  "AUTO_SET_WORKING_DIR: 0\n"
                  "APP_CACHE: 1\n");
}

SString describeJavaRange(const SString& range) {
    // "[<version>,)": one comma, just before the closing parenthesis.
    const bool atLeast = range.length() > 3 && range[0] == '[' &&
                         range.find(',') == range.length() - 2 && range[range.length() - 1] == ')';
    if (!atLeast) {
        return concat("Java ", range);
    }
    SString version = range.substr(1, range.length() - 3);
    if (version.compare(0, 2, "1.") == 0) {
        version.erase(0, 2);
    }
    return concat("Java ", version, " or later");
}

SString optionsVariableName(const SString& name) {
    SString variable;
    for (SString::size_type i = 0; i < name.length(); ++i) {
        const char c = name[i];
        if (c >= 'a' && c <= 'z') {
            variable += static_cast<char>(c - 'a' + 'A');
        } else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            variable += c;
        } else {
            variable += '_';
        }
    }
    return variable += "_OPTS";
}

bool isClassName(const SString& name) {
    if (name.empty() || name[0] == '.' || name[name.length() - 1] == '.' ||
        name.find("..") != SString::npos) {
        return false;
    }
    for (SString::size_type i = 0; i < name.length(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte <= ' ' || byte == 0x7F || std::strchr("/;[", name[i]) != nullptr) {
            return false;
        }
    }
    return true;
}

const char* debianArchitecture() {
#if defined(__x86_64__)
    return "amd64";
#elif defined(__aarch64__)
    return "arm64";
#elif defined(__i386__)
    return "i386";
#elif defined(__powerpc64__) && defined(__LITTLE_ENDIAN__)
    return "ppc64el";
#elif defined(__s390x__)
    return "s390x";
#elif defined(__riscv) && __riscv_xlen == 64
    return "riscv64";
#elif defined(__arm__)
    return "armhf";
#else
    return nullptr;
#endif
}
