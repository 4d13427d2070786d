#include "platform/interrupt.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

bool HandlerIsDefault(int signal) {
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    return now.sa_handler == SIG_DFL;
}

}  // namespace

TEST(InterruptToFlag, SignalsSetTheFlagOnceAndTheOldHandlersComeBack) {
    ASSERT_TRUE(HandlerIsDefault(SIGINT));
    std::atomic<int32_t> stop{0};
    {
        InterruptToFlag interrupt(stop);
        EXPECT_EQ(interrupt.Signal(), 0);
        raise(SIGINT);  // would end the test process without the handler
        EXPECT_EQ(stop.load(), 1);
        EXPECT_EQ(interrupt.Signal(), SIGINT);
        EXPECT_TRUE(HandlerIsDefault(SIGINT));  // a second Ctrl-C ends the process
        EXPECT_FALSE(HandlerIsDefault(SIGTERM));
    }
    EXPECT_TRUE(HandlerIsDefault(SIGTERM));

    stop = 0;
    {
        InterruptToFlag interrupt(stop);
        raise(SIGTERM);
        EXPECT_EQ(stop.load(), 1);
        EXPECT_EQ(interrupt.Signal(), SIGTERM);
    }
    EXPECT_TRUE(HandlerIsDefault(SIGINT));
}
