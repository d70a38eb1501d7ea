#include "platform/unix/FileDescriptor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

bool isOpenDescriptor(int fd) {
    return fcntl(fd, F_GETFD) >= 0;
}

// Two fresh descriptors (the ends of a pipe), owned by the test until handed over.
struct TwoDescriptors {
    TwoDescriptors() { EXPECT_EQ(0, pipe2(fds, O_CLOEXEC)); }
    int fds[2] = {-1, -1};
};

// Each descriptor is closed exactly once: by the last owner, when it goes or takes another.
TEST(FileDescriptorTest, TheLastOwnerClosesExactlyOnce) {
    TwoDescriptors pipe;
    const int a = pipe.fds[0];
    const int b = pipe.fds[1];
    {
        FileDescriptor first(a);
        FileDescriptor second(std::move(first));
        EXPECT_EQ(-1, first.get());
        EXPECT_EQ(a, second.get());

        FileDescriptor third(b);
        third = std::move(second);  // b goes, a moves on
        EXPECT_FALSE(isOpenDescriptor(b));
        EXPECT_TRUE(isOpenDescriptor(a));
        EXPECT_EQ(a, third.get());
        EXPECT_FALSE(second.isOpen());

        third.reset(a);  // its own descriptor again: kept open
        EXPECT_TRUE(isOpenDescriptor(a));
    }
    EXPECT_FALSE(isOpenDescriptor(a));
}

TEST(FileDescriptorTest, ReleaseHandsOverAndResetKeepsErrno) {
    TwoDescriptors pipe;
    FileDescriptor owner(pipe.fds[0]);
    EXPECT_EQ(pipe.fds[0], owner.release());
    EXPECT_EQ(-1, owner.release());
    EXPECT_TRUE(isOpenDescriptor(pipe.fds[0]));
    ::close(pipe.fds[0]);

    // Closed behind the owner's back, the descriptor makes the owner's own close fail: the
    // errno of the failure the caller is about to report survives that.
    owner.reset(pipe.fds[1]);
    ::close(pipe.fds[1]);
    errno = ENOSPC;
    owner.reset(-5);
    EXPECT_EQ(ENOSPC, errno);
    EXPECT_EQ(-1, owner.get());
}

// close reports what the system says, and empties the owner either way.
TEST(FileDescriptorTest, CloseReportsFailure) {
    TwoDescriptors pipe;
    ::close(pipe.fds[1]);
    FileDescriptor open(pipe.fds[0]);
    EXPECT_TRUE(open.close());
    EXPECT_FALSE(isOpenDescriptor(pipe.fds[0]));

    FileDescriptor stale(pipe.fds[0]);  // no longer open: the system refuses to close it
    errno = 0;
    EXPECT_FALSE(stale.close());
    EXPECT_EQ(EBADF, errno);
    EXPECT_FALSE(stale.isOpen());
    EXPECT_TRUE(stale.close());
}

}  // namespace
