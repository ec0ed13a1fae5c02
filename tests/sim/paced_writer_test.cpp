#include "core/paced_writer.hpp"

#include <gtest/gtest.h>

namespace tavel::sim {
namespace {

const std::vector<std::uint8_t> kFrame(71, 0x42);

TEST(PacedWriter, UnpacedWritesEverythingAtOnce) {
    PacedWriter writer{false};
    writer.enqueue(1, kFrame, Micros{0});
    EXPECT_EQ(writer.writable(Micros{0}).size(), 71u);
    const auto done = writer.consume(71, Micros{5});
    ASSERT_TRUE(done.has_value());
    EXPECT_EQ(done->id, 1u);
    EXPECT_TRUE(writer.empty());
}

struct Drained {
    std::vector<WrittenItem> items;
    std::size_t writes = 0;
};

// Writes whatever is allowed at every wakeup, as the event loop does.
Drained drain(PacedWriter& writer, Micros now) {
    Drained drained;
    while (const auto wakeup = writer.next_wakeup(now)) {
        now = *wakeup;
        const std::size_t count = writer.writable(now).size();
        if (count == 0) {
            ADD_FAILURE() << "woken at " << now.count() << " with nothing to write";
            break;
        }
        ++drained.writes;
        if (const auto done = writer.consume(count, now)) {
            drained.items.push_back(*done);
        }
    }
    return drained;
}

TEST(PacedWriter, PacedAnswerTakesItsAirTime) {
    PacedWriter writer{true};
    writer.enqueue(1, kFrame, Micros{1000});
    EXPECT_EQ(writer.writable(Micros{1000}).size(), 1u);
    const Drained drained = drain(writer, Micros{1000});
    ASSERT_EQ(drained.items.size(), 1u);
    EXPECT_EQ(drained.writes, 71u);
    EXPECT_EQ(drained.items[0].first_byte, Micros{1000});
    EXPECT_EQ(drained.items[0].last_byte, Micros{1000 + 145'834});
}

TEST(PacedWriter, QueuedFrameWaitsForTheLineAndAnIdleLineStartsAfresh) {
    PacedWriter writer{true};
    writer.enqueue(1, kFrame, Micros{0});
    writer.enqueue(2, kFrame, Micros{0});
    const Drained busy = drain(writer, Micros{0});
    ASSERT_EQ(busy.items.size(), 2u);
    EXPECT_EQ(busy.items[1].first_byte, Micros{147'917});
    writer.enqueue(3, kFrame, Micros{10'000'000});
    EXPECT_EQ(writer.writable(Micros{10'000'000}).size(), 1u);
}

TEST(PacedWriter, LateWakeupWritesTheBytesThatFellDue) {
    PacedWriter writer{true};
    writer.enqueue(1, kFrame, Micros{0});
    EXPECT_EQ(writer.writable(Micros{20'834}).size(), 11u);
}

}  // namespace
}  // namespace tavel::sim
