// Instruction-script evaluation: each line of the input is one script line. The actions are
// replaced by a recording seam, so only the interpreter runs: control flow, SET, variable
// substitution and argument parsing. Scripts may loop for ever by design; the seam stops one
// after a fixed number of lines.

#include <cstdint>
#include <string>

#include "base/LauncherException.h"
#include "input/TagFile.h"
#include "instructions/InstructionActions.h"
#include "instructions/Instructions.h"
#include "instructions/InstructionsException.h"
#include "instructions/ScriptVariables.h"
#include "launcher/Launcher.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

const long kLineLimit = 2000;

// Thrown by the seam when a script has run kLineLimit lines.
struct LineLimitReached {};

class RecordingActions : public InstructionActions {
public:
    void findJVM(bool, bool) override { ++m_calls; }
    void verifyJVM(bool, bool, long) override { ++m_calls; }
    void installJVM(InstallJVMOption option) override {
        if (option < INSTALL_TO_TEMP_HIDDEN || option > INSTALL_TO_PROMPTED_DIR) {
            fuzz::fail("INSTALL_JVM passed an option out of range", std::to_string(option));
        }
        ++m_calls;
    }
    void initializeUI() override { ++m_calls; }
    void launch(const SString&, short) override { ++m_calls; }
    void ilaunch(long, short) override { ++m_calls; }
    void executeEmbeddedLauncher(long) override { ++m_calls; }
    void beforeLine(long lineIndex) override {
        if (lineIndex < 0 || lineIndex >= m_lineCount) {
            fuzz::fail("a line outside the script is about to run", std::to_string(lineIndex));
        }
        if (++m_lines > kLineLimit) {
            throw LineLimitReached();
        }
    }

    long m_lineCount = 0;
    long m_lines = 0;
    long m_calls = 0;
};

void resetVariables() {
    for (long n = 1; n <= ScriptVariables::kStringVariables; ++n) {
        ScriptVariables::setStringVariable(n, SString());
    }
    for (long n = 1; n <= ScriptVariables::kNumericVariables; ++n) {
        ScriptVariables::setLongVariable(n, 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::silenceLauncher();
    resetVariables();
    TagFile script;
    const char* text = reinterpret_cast<const char*>(data);
    size_t lineStart = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || text[i] == '\n') {
            script.appendTagValue(
                Instructions::g_instructionsTag,
                SString(text + lineStart, static_cast<SString::size_type>(i - lineStart)));
            lineStart = i + 1;
        }
    }

    RecordingActions actions;
    actions.m_lineCount =
        static_cast<long>(script.getTagValueCount(Instructions::g_instructionsTag));
    Instructions instructions(script, actions);
    try {
        instructions.execute();
    } catch (const InstructionsException& e) {
        if (e.m_lineNumber < 1 || e.m_lineNumber > actions.m_lineCount) {
            fuzz::fail("an error names a line outside the script", std::to_string(e.m_lineNumber));
        }
    } catch (const LauncherException&) {
    } catch (const LineLimitReached&) {
    }
    return 0;
}
