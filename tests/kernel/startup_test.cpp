#include "runtime/kernel/startup.h"

#include <gtest/gtest.h>

#include "runtime/runtime.h"
#include "support/test_platform.h"

namespace quendrel {
namespace {

TEST(StartupTest, CommandLineJoinsArgumentsWithSingleSpaces) {
    const char* none[] = {"quendrel"};
    EXPECT_EQ(join_command_line(1, none), "");
    EXPECT_EQ(join_command_line(0, none), "");
    const char* two[] = {"quendrel", "first", "second part"};
    EXPECT_EQ(join_command_line(3, two), "first second part");
}

TEST(StartupTest, ProgramDirectoryCutsAtTheLastSeparator) {
    struct Case {
        const char* path;
        const char* folder;
    } cases[] = {
        {"/opt/quendrel/bin/quendrel", "/opt/quendrel/bin"},
        {"C:\\GAMES\\QUENDREL.EXE", "C:\\GAMES"},
        {"C:QUENDREL.EXE", "C:"},
        {"D:\\a/b:c", "D:\\a/b:"},
        {"/quendrel", "/"},
        {"quendrel", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(program_directory_of(c.path), c.folder) << c.path;
}

TEST(StartupTest, TimeBaseLiesOnASecondBoundary) {
    TestPlatform platform;
    platform.calendar_ticks_after = 3;  // the second changes after three reads
    platform.local = {2026, 12, 11, 10, 30, 15};
    platform.set_clock_ms(50000);
    RunState run;
    take_time_base(platform, run);
    EXPECT_EQ(run.clock_base_ms, 50000);
    EXPECT_EQ(run.midnight_base_ms, (10 * 3600 + 30 * 60 + 15) * 1000);
    platform.advance_ms(250);
    EXPECT_EQ(milliseconds_since_midnight(platform, run) % 1000, 250);
    platform.local_fails = true;
    take_time_base(platform, run);
    EXPECT_EQ(run.midnight_base_ms, 0);
}

TEST(StartupTest, RuntimeStartUpPreparesTheTables) {
    TestPlatform platform;
    platform.executable = "/games/tallowby/quendrel";
    platform.directory = "/home/player";
    Runtime rt(platform);
    const char* args[] = {"quendrel", "--seat", "14 C"};
    rt.start_up(3, args);
    auto str = [](StringDescriptor* d) { return std::string(reinterpret_cast<char*>(d->text), size_t(d->length)); };
    EXPECT_EQ(str(rt.start_directory), "/home/player");
    EXPECT_EQ(platform.directory_changes, std::vector<std::string>{"/games/tallowby"});
    EXPECT_EQ(str(rt.program_directory), "/games/tallowby");
    EXPECT_EQ(str(rt.command_line), "--seat 14 C");
    EXPECT_EQ(str(rt.strings.space_string_1()), " ");
    EXPECT_EQ(rt.strings.empty_string()->length, 0);
    EXPECT_EQ(rt.keyboard_port_latch, 0x81);
    EXPECT_EQ(rt.mouse_queues->count(), 1);
    EXPECT_GE(rt.environment_count, 1u);
    EXPECT_EQ(rt.input_devices.size(), 2u);
    ASSERT_NE(rt.screen.display_page(), nullptr);
    EXPECT_EQ(rt.screen.display_page()->width, 80);
    EXPECT_EQ(rt.screen.display_page()->height, 25);
    EXPECT_EQ(rt.tables.default_palette_256[6], 0xFFAA5500u);
    EXPECT_EQ(rt.run.pending_error.load(), 0);
}

}  // namespace
}  // namespace quendrel
