#include "platform/unix/TerminationSignals.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "base/LauncherException.h"
#include "platform/unix/FileNavigator.h"
#include "platform/unix/PlatformImpl.h"

namespace {

bool hasDefaultDisposition(int signo) {
    struct sigaction current {};
    sigaction(signo, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

class CountingNavigator : public FileNavigator {
public:
    CountingNavigator() : FileNavigator(false) {}
    bool processFile(const SString& /*path*/) override {
        ++files;
        return false;
    }
    long files = 0;
};

// The test runner may have been started with some of these signals ignored (nohup): each test
// starts from the default dispositions and puts back what it found.
class TerminationSignalsTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformImpl::resetForTest();
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        for (int i = 0; i < kCount; ++i) {
            sigaction(kSignals[i], &byDefault, &m_saved[i]);
        }
    }
    void TearDown() override {
        for (int i = 0; i < kCount; ++i) {
            sigaction(kSignals[i], &m_saved[i], nullptr);
        }
        PlatformImpl::resetForTest();
    }

    static const int kCount = 3;
    const int kSignals[kCount] = {SIGTERM, SIGHUP, SIGINT};
    struct sigaction m_saved[kCount] = {};
};

// A request to stop is recorded instead of ending the process, the first one decides the exit
// status, and the long-running steps see it; afterwards the signals are as they were.
TEST_F(TerminationSignalsTest, RequestsToStopAreRecordedAndEndTheSteps) {
    {
        TerminationSignals signals;
        ASSERT_EQ(0, raise(SIGHUP));
        ASSERT_EQ(0, raise(SIGTERM));
        EXPECT_EQ(SIGHUP, PlatformImpl::terminatingSignal());
        EXPECT_EQ(128 + SIGHUP, PlatformImpl::finalExitStatus(0));
        try {
            PlatformImpl::throwIfTerminating();
            ADD_FAILURE() << "no exception";
        } catch (const LauncherException& e) {
            EXPECT_EQ("Stopped by signal 1 (Hangup)", std::string(e.m_message.c_str()));
        }
        CountingNavigator navigator;
        navigator.process("/usr");
        EXPECT_EQ(0, navigator.files);
    }
    EXPECT_TRUE(hasDefaultDisposition(SIGTERM));
    EXPECT_TRUE(hasDefaultDisposition(SIGHUP));
    EXPECT_TRUE(hasDefaultDisposition(SIGINT));
}

// nohup and background jobs of plain shells start the launcher with these signals ignored:
// they stay ignored.
TEST_F(TerminationSignalsTest, IgnoredSignalsStayIgnored) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction saved {};
    sigaction(SIGINT, &ignore, &saved);
    {
        TerminationSignals signals;
        ASSERT_EQ(0, raise(SIGINT));
        EXPECT_EQ(0, PlatformImpl::terminatingSignal());
        EXPECT_NO_THROW(PlatformImpl::throwIfTerminating());
    }
    struct sigaction after {};
    sigaction(SIGINT, &saved, &after);
    EXPECT_EQ(SIG_IGN, after.sa_handler);
}

}  // namespace
