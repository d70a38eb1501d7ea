#ifndef QV_TESTS_SUPPORT_SCRIPTTESTSUPPORT_H
#define QV_TESTS_SUPPORT_SCRIPTTESTSUPPORT_H

// An instruction script run against recorded actions, for the tests of the interpreter and of
// the driver that runs it.

#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "base/LauncherException.h"
#include "input/TagFile.h"
#include "instructions/InstructionActions.h"
#include "instructions/Instructions.h"
#include "instructions/InstructionsException.h"
#include "tests/support/LauncherTestSupport.h"

namespace qvtest {

// Stands in for the launcher actions: records each call with its arguments, and throws
// LauncherException("action failed") from the action named in failingAction.
class RecordingActions : public InstructionActions {
public:
    void findJVM(bool showProgress, bool showFailMsg) override {
        record("findJVM", showProgress, showFailMsg);
    }
    void verifyJVM(bool showProgress, bool showFailMsg, long fileId) override {
        record("verifyJVM", showProgress, showFailMsg, fileId);
    }
    void installJVM(InstallJVMOption option) override {
        record("installJVM", static_cast<int>(option));
    }
    void initializeUI() override { record("initializeUI"); }
    void launch(const SString& jvmFilePath, short uiDisplaySeconds) override {
        noteLastAct();
        record("launch", "[" + str(jvmFilePath) + "]", uiDisplaySeconds);
    }
    void ilaunch(long fileId, short uiDisplaySeconds) override {
        noteLastAct();
        record("ilaunch", fileId, uiDisplaySeconds);
    }
    void executeEmbeddedLauncher(long index) override { record("executeEmbeddedLauncher", index); }

    std::vector<std::string> m_calls;
    std::string m_failingAction;
    // When set, each launch records there whether the script ends with its line.
    const Instructions* m_observed = nullptr;
    std::vector<bool> m_lastActs;

private:
    void noteLastAct() {
        if (m_observed != nullptr) {
            m_lastActs.push_back(m_observed->endsWithCurrentLine());
        }
    }
    void record(const std::string& action) { recordCall(action, action + "()"); }
    template <typename First, typename... Rest>
    void record(const std::string& action, const First& first, const Rest&... rest) {
        std::ostringstream call;
        call << action << "(" << first;
        ((call << "," << rest), ...);
        call << ")";
        recordCall(action, call.str());
    }
    void recordCall(const std::string& action, const std::string& call) {
        m_calls.push_back(call);
        if (action == m_failingAction) {
            throw LauncherException("action failed");
        }
    }
};

// A script held in a tag file, its interpreter and recorded actions.
class ScriptRunner {
public:
    explicit ScriptRunner(std::initializer_list<const char*> lines)
        : m_instructions(m_script, m_actions) {
        for (const char* line : lines) {
            m_script.appendTagValue(Instructions::g_instructionsTag, line);
        }
    }

    // "" when the script ran to its end; "line <n>: <message>" for an InstructionsException;
    // "launcher: <message>" for a LauncherException.
    std::string run() {
        try {
            m_instructions.execute();
        } catch (const InstructionsException& e) {
            return "line " + std::to_string(e.m_lineNumber) + ": " + str(e.m_message);
        } catch (const LauncherException& e) {
            return "launcher: " + str(e.m_message);
        }
        return "";
    }

    TagFile m_script;
    Instructions m_instructions;
    RecordingActions m_actions;
};

}  // namespace qvtest

#endif  // QV_TESTS_SUPPORT_SCRIPTTESTSUPPORT_H
