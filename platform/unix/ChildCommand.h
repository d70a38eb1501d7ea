#ifndef QV_PLATFORM_UNIX_CHILDCOMMAND_H
#define QV_PLATFORM_UNIX_CHILDCOMMAND_H

// What a child process (or the application replacing the launcher) is started with, made in
// the launcher before the child is: until it execs, the child only reads these (it must not
// allocate), and the launcher's own environment never changes. Each object owns every string
// its vectors point into and must outlive the exec.

#include <cstddef>
#include <string>
#include <vector>

#include "base/StringDeque.h"

// The argument vector that hands a command line to /bin/sh ("sh -c <command>"). Linux passes
// no single argument longer than 32 pages (MAX_ARG_STRLEN: 131072 bytes with the NUL), so a
// longer command line, such as one carrying a mebibyte of pass-through arguments, goes over
// in pieces that the shell joins and evaluates: the same command, run by the same shell, only
// parsed from a variable instead of from -c.
class ShellCommand {
public:
    // command must outlive this object when it is short enough to be passed as it is.
    explicit ShellCommand(const char* command);
    ShellCommand(const ShellCommand&) = delete;
    ShellCommand& operator=(const ShellCommand&) = delete;

    // The null-terminated argument vector for execve.
    char* const* argv() const { return m_argv.data(); }

private:
    static constexpr size_t kLongestArgument = size_t{32} * 4096 - 1;
    static constexpr size_t kPieceLength = size_t{64} * 1024;

    std::vector<std::string> m_pieces;
    std::vector<char*> m_argv;
};

// The environment a child starts with: the launcher's own, with the variables of the run (the
// JVM's JAVA_HOME, a class path variable) set over it.
class ChildEnvironment {
public:
    // variables: "NAME=value" entries that replace the launcher's variables of those names or
    // are added; null for none.
    explicit ChildEnvironment(const StringDeque* variables);
    ChildEnvironment(const ChildEnvironment&) = delete;
    ChildEnvironment& operator=(const ChildEnvironment&) = delete;

    // The null-terminated environment vector for execve.
    char* const* envp() const { return m_envp.data(); }

private:
    // True when one of the run's variables has the name of entry ("NAME=value").
    bool isReplaced(const char* entry) const;

    std::vector<std::string> m_variables;
    std::vector<char*> m_envp;
};

// A command line that needs no shell (see splitSimpleCommand) started directly: the program
// the shell would have run, with the words it would have passed and the environment it would
// have given: only the variables it can name, and PWD, the working directory (the inherited
// value when that names the directory, else the physical path).
class DirectCommand {
public:
    // Splits command; environment is the one the shell would have got (ChildEnvironment) and
    // must outlive this object. A command that needs a shell leaves the object unusable.
    DirectCommand(const char* command, char* const* environment);
    DirectCommand(const DirectCommand&) = delete;
    DirectCommand& operator=(const DirectCommand&) = delete;

    bool isUsable() const { return !m_argv.empty(); }
    // The program, its null-terminated argument vector and environment; only when usable.
    const char* program() const { return m_argv[0]; }
    char* const* argv() const { return m_argv.data(); }
    char* const* envp() const { return m_envp.data(); }

private:
    void buildEnvironment(char* const* environment);

    std::vector<std::string> m_words;
    std::vector<char*> m_argv;
    std::string m_pwd;
    std::vector<char*> m_envp;
};

#endif  // QV_PLATFORM_UNIX_CHILDCOMMAND_H
