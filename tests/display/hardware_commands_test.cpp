#include <gtest/gtest.h>

#include "runtime/display/hardware_images.h"
#include "support/test_platform.h"

namespace quendrel {
namespace {

class HardwareCommandsTest : public ::testing::Test {
protected:
    int64_t queue(int64_t serial) {
        return commands.queue(serial, kCommandImageRect, 1, 0, {}, {}, false, false);
    }
    std::vector<int64_t> order() {
        std::vector<int64_t> out;
        for (int64_t h = commands.first(); h; h = commands.get(h)->next.load()) out.push_back(h);
        return out;
    }
    TestPlatform platform;
    MessageBoxes boxes{platform};
    HardwareCommandList commands{boxes};
};

TEST_F(HardwareCommandsTest, KeepsQueuingOrderAndRemovesOnlyExecutedOnesBeforeThePresenter) {
    int64_t a = queue(5), b = queue(5), c = queue(6);
    EXPECT_EQ(order(), (std::vector<int64_t>{a, b, c}));
    EXPECT_EQ(commands.get(b)->serial, 5);
    // Nothing executed: nothing goes.
    commands.remove_executed();
    EXPECT_EQ(order().size(), 3u);
    commands.get(a)->executed.store(1);
    commands.get(b)->executed.store(1);
    commands.last_executed.store(b);
    commands.remove_executed();
    // The presenter's last command stays as its place in the list.
    EXPECT_EQ(order(), (std::vector<int64_t>{b, c}));
    int64_t d = queue(7);
    EXPECT_EQ(d, a) << "a freed record is reused";
    EXPECT_EQ(order(), (std::vector<int64_t>{b, c, d}));
    EXPECT_EQ(commands.get(d)->executed.load(), 0);
}

}  // namespace
}  // namespace quendrel
