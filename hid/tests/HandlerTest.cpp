#include "hid/HidHandlers.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

struct Counter {
    void Add(THidDevice*) { ++count; }
    void Other(THidDevice*) { count += 100; }
    bool Answer(THidDevice*, int idx) { return idx == expected; }
    int count = 0;
    int expected = 0;
};

struct Derived : Counter {};

TEST(HandlerTest, EmptyHandlerIsFalseAndEqualToAnotherEmptyOne) {
    THidPlugEvent empty;
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty, THidPlugEvent{});
}

TEST(HandlerTest, BoundHandlerCallsItsReceiver) {
    Counter counter;
    const THidPlugEvent handler = MakeHandler<&Counter::Add>(&counter);
    ASSERT_TRUE(handler);
    handler(nullptr);
    handler(nullptr);
    EXPECT_EQ(counter.count, 2);

    counter.expected = 4;
    const THidEnumerateEvent answer = MakeHandler<&Counter::Answer>(&counter);
    EXPECT_TRUE(answer(nullptr, 4));
    EXPECT_FALSE(answer(nullptr, 3));
}

TEST(HandlerTest, EqualityIsByCodeNotByReceiver) {
    Counter a;
    Counter b;
    EXPECT_EQ(MakeHandler<&Counter::Add>(&a), MakeHandler<&Counter::Add>(&b));
    EXPECT_NE(MakeHandler<&Counter::Add>(&a), MakeHandler<&Counter::Other>(&a));
    EXPECT_NE(MakeHandler<&Counter::Add>(&a), THidPlugEvent{});
    EXPECT_EQ(MakeHandler<&Counter::Add>(&a).Receiver(), &a);
}

TEST(HandlerTest, MethodOfABaseClassBindsToADerivedObject) {
    Derived derived;
    const THidPlugEvent handler = MakeHandler<&Counter::Add>(&derived);
    handler(nullptr);
    EXPECT_EQ(derived.count, 1);
}

}  // namespace
}  // namespace quillon
