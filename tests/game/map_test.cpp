// The cabin map: the compass and text of every location, every move and
// every direction without an exit.
#include <string_view>

#include "game/story.h"
#include "game_fixture.h"

namespace quendrel {
namespace {

struct Place {
    const char* const* rows;
    int row_count;
    std::string_view exits;  // the open directions as compass letters
};

// Indexed by location number.
const Place kPlaces[13] = {
    {},
    {story::kSeat1, 2, "E"},
    {&story::kAisle2, 1, "NSEW"},
    {story::kEmptySeat3, 2, "W"},
    {&story::kAisle4, 1, "NSEW"},
    {&story::kHankSeat5, 1, "W"},
    {&story::kEmptySeat6, 1, "E"},
    {story::kCockpit7, 2, "S"},
    {&story::kAisle8, 1, "NSEW"},
    {&story::kFranSeat9, 1, "W"},
    {&story::kDocSeat10, 1, "E"},
    {&story::kPlaneEnd11, 1, "NW"},
    {story::kRestRoom12, 3, "E"},
};

struct Move {
    const char* command;
    int to;
};

// A walk over every move once, from the seat and back to it, using every
// word of the four direction commands. NORTH from 11 stops at 8.
const Move kTour[] = {
    {"E", 2},       {"GO EAST", 3},  {"W", 2},        {"N", 4},        {"EAST", 5},     {"GO WEST", 4},
    {"WEST", 6},    {"E", 4},        {"GO NORTH", 7}, {"S", 4},        {"GO SOUTH", 2}, {"SOUTH", 8},
    {"GO EAST", 9}, {"W", 8},        {"GO WEST", 10}, {"EAST", 8},     {"S", 11},       {"WEST", 12},
    {"E", 11},      {"NORTH", 8},    {"N", 2},        {"W", 1},
};

class MapTest : public GameTest {
protected:
    // The compass rows and the location text of the main screen, and the
    // prompt on the row after the text.
    bool shows_place(int location) {
        const Place& place = kPlaces[location];
        auto open = [&](char letter) { return place.exits.find(letter) != std::string_view::npos; };
        auto mark = [&](char letter) { return std::string(1, open(letter) ? letter : ' '); };
        if (!row_is(11, std::string(38, ' ') + mark('N'))) return false;
        if (!row_is(12, "*---------------------------------* " + mark('W') + " + " + mark('E') +
                            " *------------------------------------*"))
            return false;
        if (!row_is(13, std::string(38, ' ') + mark('S'))) return false;
        for (int i = 0; i < place.row_count; ++i)
            if (!row_is(17 + i, place.rows[i])) return false;
        return row_is(17 + place.row_count, "> ");
    }
    ::testing::AssertionResult arrives_at(int location) {
        if (wait_until([&] { return main_screen_ready() && shows_place(location); }, kWait))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "not at location " << location << ":\n" << screen_text();
    }
};

TEST_F(MapTest, EveryMoveAndEveryDirectionWithoutAnExit) {
    static constexpr const char* kWords[4][3] = {
        {"GO NORTH", "NORTH", "N"}, {"GO SOUTH", "SOUTH", "S"}, {"GO EAST", "EAST", "E"}, {"GO WEST", "WEST", "W"}};
    bool visited[13] = {};
    int blocked_tried = 0;
    // Each direction without an exit, tried on the first visit.
    auto try_blocked = [&](int location) {
        if (visited[location]) return;
        visited[location] = true;
        for (int d = 0; d < 4; ++d) {
            if (kPlaces[location].exits.find("NSEW"[d]) != std::string_view::npos) continue;
            const char* word = kWords[d][blocked_tried++ % 3];
            ASSERT_TRUE(changes_nothing(word)) << "location " << location;
        }
    };

    ASSERT_TRUE(reach_main_screen());
    ASSERT_TRUE(arrives_at(1));
    ASSERT_NO_FATAL_FAILURE(try_blocked(1));
    int at = 1;
    for (const Move& move : kTour) {
        ASSERT_TRUE(enter(move.command));
        ASSERT_TRUE(arrives_at(move.to)) << move.command << " from " << at;
        at = move.to;
        ASSERT_NO_FATAL_FAILURE(try_blocked(at));
    }
    EXPECT_EQ(blocked_tried, 26);
    for (int location = 1; location <= 12; ++location) EXPECT_TRUE(visited[location]) << location;
}

}  // namespace
}  // namespace quendrel
