#include "platform/unix/ChildCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "base/ShellQuote.h"

extern char** environ;

namespace {

// With IFS empty, "$*" joins the pieces without separators. IFS has its starting value again
// and the positional parameters are cleared before the command runs.
const char kJoinPieces[] = "IFS=; qv_command=\"$*\"; IFS=' \t\n'; set --; eval \"$qv_command\"";

// The shell passes on only the variables it could name: NAME=value with a name of letters,
// digits and underscores that does not start with a digit.
bool isShellVariable(const char* entry) {
    auto isNameStart = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    const char* c = entry;
    if (!isNameStart(*c)) {
        return false;
    }
    while (isNameStart(*c) || (*c >= '0' && *c <= '9')) {
        ++c;
    }
    return *c == '=';
}

// The PWD a shell would set: the inherited one while it names the working directory, else the
// physical path; empty when neither can be had.
std::string shellWorkingDirectory() {
    const char* inherited = std::getenv("PWD");
    struct stat named;
    struct stat current;
    if (inherited != nullptr && inherited[0] == '/' && stat(inherited, &named) == 0 &&
        stat(".", &current) == 0 && named.st_dev == current.st_dev &&
        named.st_ino == current.st_ino) {
        return inherited;
    }
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() >= (size_t{1} << 20)) {
            return std::string();
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

}  // namespace

ShellCommand::ShellCommand(const char* command) {
    const size_t length = std::strlen(command);
    m_argv = {const_cast<char*>("sh"), const_cast<char*>("-c")};
    if (length <= kLongestArgument) {
        m_argv.push_back(const_cast<char*>(command));
    } else {
        m_argv.push_back(const_cast<char*>(kJoinPieces));
        // $0 of the joining script; the pieces are $1, $2, ...
        m_argv.push_back(const_cast<char*>("sh"));
        for (size_t start = 0; start < length; start += kPieceLength) {
            m_pieces.emplace_back(command + start,
                                  length - start < kPieceLength ? length - start : kPieceLength);
        }
        std::transform(m_pieces.begin(), m_pieces.end(), std::back_inserter(m_argv),
                       [](std::string& piece) { return &piece[0]; });
    }
    m_argv.push_back(nullptr);
}

ChildEnvironment::ChildEnvironment(const StringDeque* variables) {
    for (long i = 0; variables != nullptr && i < variables->size(); ++i) {
        m_variables.emplace_back(variables->at(i).c_str(), variables->at(i).length());
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!isReplaced(*entry)) {
            m_envp.push_back(*entry);
        }
    }
    std::transform(m_variables.begin(), m_variables.end(), std::back_inserter(m_envp),
                   [](std::string& variable) { return &variable[0]; });
    m_envp.push_back(nullptr);
}

bool ChildEnvironment::isReplaced(const char* entry) const {
    const char* equals = std::strchr(entry, '=');
    const size_t nameLength = equals == nullptr ? std::strlen(entry) : equals - entry;
    return std::any_of(m_variables.begin(), m_variables.end(), [&](const std::string& v) {
        return v.size() > nameLength && v[nameLength] == '=' &&
               v.compare(0, nameLength, entry, nameLength) == 0;
    });
}

DirectCommand::DirectCommand(const char* command, char* const* environment) {
    StringDeque words;
    if (!splitSimpleCommand(SString(command), words)) {
        return;
    }
    for (long i = 0; i < words.size(); ++i) {
        m_words.emplace_back(words.at(i).c_str(), words.at(i).length());
    }
    std::transform(m_words.begin(), m_words.end(), std::back_inserter(m_argv),
                   [](std::string& word) { return &word[0]; });
    m_argv.push_back(nullptr);
    buildEnvironment(environment);
}

void DirectCommand::buildEnvironment(char* const* environment) {
    for (char* const* variable = environment; *variable != nullptr; ++variable) {
        if (isShellVariable(*variable) && std::strncmp(*variable, "PWD=", 4) != 0) {
            m_envp.push_back(*variable);
        }
    }
    std::string directory = shellWorkingDirectory();
    if (!directory.empty()) {
        m_pwd = "PWD=" + directory;
        m_envp.push_back(&m_pwd[0]);
    }
    m_envp.push_back(nullptr);
}
