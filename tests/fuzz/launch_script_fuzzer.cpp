// Launch-script expansion of arbitrary templates against a jvm file. The input is a command
// template, a NUL byte and the text of a jvm file; an optional second NUL byte is followed by
// an ARCHIVE template. Nothing runs: only resolve, the three macro passes and the functions.
//
// The launcher beside which the functions look for runtime files and archives lives in a
// scratch directory that holds one of each (".cp1", ".cp", ".cp2", ".sp", ".ja", "app.jar").
// What an input changes outside the expansion (environment variables set by %CP%, temporary
// directories, the application archive kept for the run) is undone after it.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/LauncherException.h"
#include "input/TagFile.h"
#include "jvm/JVMFile.h"
#include "launcher/Launcher.h"
#include "launchscript/LaunchScript.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

struct StreamCloser {
    // NOLINTNEXTLINE(cert-err33-c): a stream over memory that is only read loses nothing.
    void operator()(FILE* stream) const { std::fclose(stream); }
};

// Made once: the launcher paths, the runtime files and a private TMPDIR.
struct Setting {
    fuzz::ScratchDir scratch;
    fuzz::EnvironmentSnapshot environment;

    Setting() : environment(prepare(scratch)) {}

    static fuzz::EnvironmentSnapshot prepare(const fuzz::ScratchDir& dir) {
        dir.writeFile("app.cp1", "first.jar\n\n");
        dir.writeFile("app.cp", "@JVM_HOME@/lib/tools.jar\r\n");
        dir.writeFile("app.cp2", "last.jar");
        dir.writeFile("app.sp", "a=1\njunk\nhome=@JVM_HOME@\n");
        dir.writeFile("app.ja", "-Xmx64m\n\n-Dx=@DESC@\n");
        dir.writeFile("app.jar", "PK\x03\x04");
        std::string temp = dir / "tmp";
        mkdir(temp.c_str(), 0700);
        setenv("TMPDIR", temp.c_str(), 1);
        PlatformImpl::setSystemTempDir(temp.c_str());
        Launcher::setLauncherFiles((dir / "app.bin").c_str(), (dir / "app.bin").c_str());
        return fuzz::EnvironmentSnapshot();
    }
};

// Splits at the first NUL byte: the part before it, and in rest the part after it (empty and
// false when there is none).
bool splitAtNul(const char* data, size_t size, std::string& head, std::string& rest) {
    const void* nul = std::memchr(data, '\0', size);
    if (nul == nullptr) {
        head.assign(data, size);
        rest.clear();
        return false;
    }
    size_t headSize = static_cast<const char*>(nul) - data;
    head.assign(data, headSize);
    rest.assign(data + headSize + 1, size - headSize - 1);
    return true;
}

SString toSString(const std::string& text) {
    return SString(text.data(), static_cast<SString::size_type>(text.size()));
}

void loadJVMFile(TagFile& tags, const std::string& text) {
    if (text.empty()) {
        return;
    }
    std::unique_ptr<FILE, StreamCloser> stream(
        fmemopen(const_cast<char*>(text.data()), text.size(), "rb"));
    if (!stream) {
        fuzz::fail("fmemopen", std::to_string(text.size()));
    }
    try {
        tags.load(stream.get(), "fuzz.jvm", 0, -1);
    } catch (const LauncherException&) {
        // The tags read before the error stay: expand against them.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Setting setting;
    fuzz::silenceLauncher();

    std::string command;
    std::string rest;
    std::string jvmText;
    std::string archive;
    splitAtNul(reinterpret_cast<const char*>(data), size, command, rest);
    bool hasArchive = splitAtNul(rest.data(), rest.size(), jvmText, archive);

    TagFile jvmTags;
    loadJVMFile(jvmTags, jvmText);
    JVMFile jvmFile(jvmTags);

    std::unique_ptr<LaunchScript> script;
    if (hasArchive) {
        // The tag file form: ARCHIVE is expanded inside %CP%, and the embedded archives are
        // looked for (the launcher file here has none).
        TagFile scriptTags;
        scriptTags.setTagValue(g_commandTag, toSString(command));
        scriptTags.setTagValue(g_archiveTag, toSString(archive));
        script.reset(new LaunchScript(scriptTags, true, Launcher::context()));
    } else {
        script.reset(new LaunchScript(toSString(command), true, false, Launcher::context()));
    }
    try {
        script->resolve(jvmFile);
    } catch (const LauncherException&) {
    }

    // The next input extracts the application archive again.
    const SString launcher = Launcher::getLauncherFileName();
    Launcher::resetForTest();
    fuzz::silenceLauncher();
    Launcher::setLauncherFiles(launcher, launcher);
    fuzz::cleanupTemporaryFiles();
    setting.environment.restore();
    return 0;
}
