#include "game/adventure.h"

#include <cmath>

#include "game/story.h"
#include "runtime/kernel/fpu.h"

namespace quendrel {

namespace {

std::string padded(const std::string& text, size_t width) {
    std::string s = text;
    s.resize(width, ' ');
    return s;
}

// A program variable of the static arena, set to zero as translated code does.
template <typename T>
T& program_variable(StaticArena& arena) {
    T* p = static_cast<T*>(arena.static_alloc(sizeof(T)));
    *p = T(0);
    return *p;
}

}  // namespace

Adventure::Adventure(Runtime& rt)
    : rt_(rt),
      s_(rt),
      location_(program_variable<float>(rt.arena)),
      has_knife_(program_variable<float>(rt.arena)),
      clock_minutes_(program_variable<float>(rt.arena)),
      clock_seconds_(program_variable<float>(rt.arena)),
      clock_total_(program_variable<float>(rt.arena)),
      deadline_(program_variable<double>(rt.arena)) {
    for (StringDescriptor*& e : exits_) e = rt.strings.string_new(0, false);
    command_ = rt.strings.string_new(0, false);

    const std::string bar(32, '_');
    banner_[0] = std::string(23, ' ') + bar + std::string(24, ' ');
    banner_[1] = std::string(22, ' ') + "/" + padded(story::kSeriesTitle, 32) + "\\" + std::string(21, ' ');
    banner_[2] = std::string(22, ' ') + "/" + padded(story::kCredit, 32) + "\\" + std::string(24, ' ');
    banner_[3] = std::string(22, ' ') + "/" + bar + "\\" + std::string(20, ' ');
    banner_[4] = std::string(76, ' ');
    banner_[5] = std::string(33, ' ') + story::kEpisode;
    banner_[6] = std::string(28, ' ') + story::kEpisodeTitle;
}

// ---------------------------------------------------------------- idioms

StringDescriptor* Adventure::literal(const char* text) { return rt_.strings.string_from_text(text); }

void Adventure::print_line(int32_t line, StringDescriptor* text) {
    s_.run(line, [&] {
        rt_.text.print_fit(text);
        rt_.text.print_string(text, false);
        rt_.text.print_string(rt_.strings.empty_string(), true);
    });
}

void Adventure::print_line(int32_t line, const char* text) {
    s_.run(line, [&] {
        StringDescriptor* t = literal(text);
        rt_.text.print_fit(t);
        rt_.text.print_string(t, false);
        rt_.text.print_string(rt_.strings.empty_string(), true);
    });
}

void Adventure::print_text(int32_t line, const char* text) {
    s_.run(line, [&] {
        StringDescriptor* t = literal(text);
        rt_.text.print_fit(t);
        rt_.text.print_string(t, false);
    });
}

void Adventure::empty_line(int32_t line) {
    s_.run(line, [&] { rt_.text.print_string(rt_.strings.empty_string(), true); });
}

void Adventure::key_pause(int32_t drain_line, int32_t wait_line) {
    // Keys already waiting are thrown away; the next one ends the pause.
    for (;;) {
        if (s_.loop_head(drain_line)) continue;
        int32_t empty = rt_.strings.temp_cleanup(
            s_.mark(), rt_.functions.string_equal(rt_.keys.poll_key(), rt_.strings.empty_string()));
        if (empty || rt_.errors.pending()) break;
    }
    wait_for_key(wait_line);
}

void Adventure::wait_for_key(int32_t line) {
    for (;;) {
        if (s_.loop_head(line)) continue;
        int32_t got = rt_.strings.temp_cleanup(
            s_.mark(),
            rt_.functions.string_not_equal(rt_.keys.poll_key(), rt_.strings.empty_string()));
        if (got || rt_.errors.pending()) break;
    }
}

StringDescriptor* Adventure::current_exits() {
    long index = std::lrint(location_);
    return exits_[rt_.errors.array_index_check(uint64_t(index - 1), 12)];
}

// ---------------------------------------------------------------- main program

void Adventure::main_program() {
    install_fpu_handling(rt_.errors);
    StringHeap& h = rt_.strings;

    s_.run(1, [&] { location_ = 1; });
    s_.run(2, [&] { has_knife_ = 1; });
    for (int32_t line = 3; line <= 7; ++line) s_.run(line, [] {});
    s_.run(9, [&] { rt_.text.set_color(8, 0, 0, 3); });
    s_.run(10, [&] { rt_.text.clear_screen(0, 0, 0); });
    s_.run(12, [] {});
    s_.run(13, [&] { clock_minutes_ = 30; });
    s_.run(14, [&] { clock_seconds_ = 0; });
    s_.run(15, [&] { clock_total_ = 60 * clock_minutes_ + clock_seconds_; });
    s_.run(17, [] {});
    static constexpr const char* kExits[12] = {
        "EAST", "NORTH, SOUTH, EAST, OR WEST", "WEST", "NORTH, SOUTH, EAST, OR WEST",
        "WEST", "EAST", "SOUTH", "NORTH, SOUTH, EAST, OR WEST",
        "WEST", "EAST", "NORTH OR WEST", "EAST",
    };
    for (int32_t n = 1; n <= 12; ++n)
        s_.run(17 + n, [&] {
            h.string_assign(exits_[rt_.errors.array_index_check(uint64_t(n - 1), 12)],
                            literal(kExits[n - 1]));
        });

    empty_line(31);
    empty_line(32);
    for (int32_t i = 0; i < 5; ++i) print_line(33 + i, story::kIntroFirst[i]);
    empty_line(38);
    for (int32_t i = 0; i < 4; ++i) print_line(39 + i, story::kIntroSecond[i]);
    empty_line(43);
    empty_line(44);
    print_line(45, story::kPressToContinue);
    key_pause(46, 47);

    s_.run(48, [&] { rt_.text.clear_screen(0, 0, 0); });
    empty_line(50);
    empty_line(51);
    wait_for_key(52);
    s_.run(53, [&] { deadline_ = double(clock_total_) + rt_.clock.timer_seconds(0.001, true); });

    for (;;) {
        if (s_.loop_head(56)) continue;
        draw_main_screen();
        s_.call(80, [&] { describe_location(); });
        s_.call(81, [&] { run_command(); });
    }
}

void Adventure::draw_main_screen() {
    StringFunctions& fn = rt_.functions;
    s_.run(57, [&] { rt_.text.clear_screen(0, 0, 0); });
    empty_line(58);
    empty_line(59);
    empty_line(60);
    for (int32_t i = 0; i < 7; ++i) print_line(61 + i, banner_[i].c_str());

    auto open = [&](const char* direction) {
        return fn.instr_search(0, current_exits(), literal(direction), 0) != 0 ? -1 : 0;
    };
    auto letter_row = [&](int32_t spaces_line, int32_t letter_line, const char* direction,
                          const char* letter) {
        s_.run(spaces_line, [&] {
            StringDescriptor* spaces = fn.space_string(38);
            rt_.text.print_fit(spaces);
            rt_.text.print_string(spaces, false);
        });
        if (s_.when(letter_line, [&] { return open(direction); }))
            print_line(letter_line, letter);
        else
            empty_line(letter_line);
    };
    auto letter_or_space = [&](int32_t line, const char* direction, const char* letter) {
        if (s_.when(line, [&] { return open(direction); }))
            print_text(line, letter);
        else
            print_text(line, " ");
    };

    letter_row(68, 69, "NORTH", "N");
    print_text(70, "*---------------------------------* ");
    letter_or_space(71, "WEST", "W");
    print_text(72, " + ");
    letter_or_space(73, "EAST", "E");
    print_line(74, " *------------------------------------*");
    letter_row(75, 76, "SOUTH", "S");

    empty_line(77);
    print_line(78, story::kHintRow);
    empty_line(79);
}

// ---------------------------------------------------------------- locations

void Adventure::describe_location() {
    using Rows = std::initializer_list<const char*>;
    struct Place {
        int32_t entry;
        Rows rows;
    };
    const Place places[12] = {
        {261, {story::kSeat1[0], story::kSeat1[1]}},
        {266, {story::kAisle2}},
        {270, {story::kEmptySeat3[0], story::kEmptySeat3[1]}},
        {275, {story::kAisle4}},
        {279, {story::kHankSeat5}},
        {283, {story::kEmptySeat6}},
        {287, {story::kCockpit7[0], story::kCockpit7[1]}},
        {292, {story::kAisle8}},
        {296, {story::kFranSeat9}},
        {300, {story::kDocSeat10}},
        {304, {story::kPlaneEnd11}},
        {308, {story::kRestRoom12[0], story::kRestRoom12[1], story::kRestRoom12[2]}},
    };
    s_.target(84);
    for (int32_t n = 1; n <= 12; ++n) {
        const int32_t line = 84 + n;
        if (!s_.when(line, [&] { return location_ == float(n) ? -1 : 0; })) continue;
        s_.call(line, [&] {
            const Place& place = places[n - 1];
            s_.target(place.entry);
            int32_t row_line = place.entry;
            for (const char* row : place.rows) print_line(++row_line, row);
            s_.run(row_line + 1, [] {});  // RETURN
        });
    }
    s_.run(97, [] {});  // RETURN
}

bool Adventure::move(std::initializer_list<std::pair<int32_t, std::pair<float, float>>> steps) {
    for (const auto& [line, from_to] : steps) {
        if (!s_.when(line, [&] { return location_ == from_to.first ? -1 : 0; })) continue;
        s_.run(line, [&] { location_ = from_to.second; });
        return true;  // GOTO 258
    }
    return false;
}

// ---------------------------------------------------------------- commands

bool Adventure::is_command(std::initializer_list<const char*> words) {
    int32_t any = 0;
    for (const char* w : words) any |= rt_.functions.string_equal(command_, literal(w));
    return any != 0;
}

void Adventure::text_screen(std::initializer_list<std::pair<int32_t, const char*>> rows,
                            int32_t clear_line, int32_t drain_line, int32_t wait_line) {
    s_.run(clear_line, [&] { rt_.text.clear_screen(0, 0, 0); });
    for (const auto& [line, text] : rows) {
        if (text)
            print_line(line, text);
        else
            empty_line(line);
    }
    key_pause(drain_line, wait_line);
}

void Adventure::run_command() {
    StringFunctions& fn = rt_.functions;
    StringHeap& h = rt_.strings;
    s_.target(99);
    print_text(100, "> ");
    s_.run(101, [&] { h.string_assign(command_, read_command()); });
    s_.run(102, [&] { h.string_assign(command_, fn.trim_left(fn.trim_right(fn.upper_case(command_)))); });

    auto at = [&](float place) { return location_ == place ? -1 : 0; };
    auto matches = [&](std::initializer_list<const char*> words) { return is_command(words) ? -1 : 0; };
    auto finish = [&] {
        s_.target(258);
        s_.run(259, [] {});  // RETURN
    };

    if (s_.when(103, [&] { return matches({"END", "QUIT", "EXIT", "Q"}); })) {
        rt_.program_end();
    }
    if (s_.when(106, [&] { return matches({"HELP", "H"}); })) {
        text_screen({{108, "HERE ARE SOME BASIC COMMANDS THAT CAN BE USED IN THE GAME..."},
                     {109, nullptr},
                     {110, "LOOK                         - CHECK FOR AVAILABLE EXITS"},
                     {111, "NORTH, EAST ,SOUTH, AND WEST - MOVE TO AN AVAILABLE LOCATION"},
                     {112, "EXAMINE (OBJECT)             - EXAMINE AN OBJECT"},
                     {113, "USE (OBJECT)                 - USE AN OBJECT"},
                     {114, "READ (OBJECT)                - READ AN OBJECT"},
                     {115, "TAKE (OBJECT)                - TAKE OR MOVE AN OBJECT"},
                     {116, "TALK                         - TALK TO SOMEONE"},
                     {117, "PRESENT EVIDENCE             - WHEN YOU THINK YOU'VE SOLVED THE CASE"},
                     {118, "INVENTORY                    - VIEW YOUR INVENTORY"},
                     {119, "HELP                         - VIEW THIS SCREEN"},
                     {120, "END                          - END GAME"},
                     {121, nullptr},
                     {122, story::kPressAnyKey}},
                    107, 123, 124);
    }
    if (s_.when(126, [&] { return matches({"LOOK AROUND", "LOOK", "L"}); })) {
        s_.run(127, [&] { rt_.text.clear_screen(0, 0, 0); });
        print_line(128, current_exits());
        empty_line(129);
        print_line(130, story::kPressAnyKey);
        key_pause(131, 132);
    }
    if (s_.when(134, [&] { return matches({"INVENTORY", "INV", "ITEMS", "I"}); })) {
        s_.run(135, [&] { rt_.text.clear_screen(0, 0, 0); });
        print_line(136, "INVENTORY...");
        empty_line(137);
        if (s_.when(138, [&] { return has_knife_ == 1 ? -1 : 0; })) print_line(138, "The murder weapon.");
        empty_line(139);
        print_line(140, story::kPressAnyKey);
        key_pause(141, 142);
    }
    if (s_.when(144, [&] { return matches({"GO NORTH", "NORTH", "N"}); }) &&
        move({{145, {11, 8}}, {146, {8, 2}}, {147, {2, 4}}, {148, {4, 7}}}))
        return finish();
    if (s_.when(150, [&] { return matches({"GO EAST", "EAST", "E"}); }) &&
        move({{151, {6, 4}}, {152, {4, 5}}, {153, {1, 2}}, {154, {2, 3}}, {155, {10, 8}},
              {156, {8, 9}}, {157, {12, 11}}}))
        return finish();
    if (s_.when(159, [&] { return matches({"GO SOUTH", "SOUTH", "S"}); }) &&
        move({{160, {7, 4}}, {161, {4, 2}}, {162, {2, 8}}, {163, {8, 11}}}))
        return finish();
    if (s_.when(165, [&] { return matches({"GO WEST", "WEST", "W"}); }) &&
        move({{166, {5, 4}}, {167, {4, 6}}, {168, {3, 2}}, {169, {2, 1}}, {170, {9, 8}},
              {171, {8, 10}}, {172, {11, 12}}}))
        return finish();

    if (s_.when(176, [&] { return matches({"EXAMINE KNIFE"}) & (has_knife_ == 1 ? -1 : 0); }))
        text_screen({{178, story::kKnife[0]}, {179, story::kKnife[1]}}, 177, 180, 181);
    if (s_.when(185, [&] { return matches({"EXAMINE ROBERT"}) & at(12); }))
        text_screen({{187, story::kRobert[0]}, {188, story::kRobert[1]}, {189, story::kRobert[2]},
                     {190, nullptr}},
                    186, 191, 192);
    if (s_.when(195, [&] { return matches({"EXAMINE FRAN"}) & at(9); }))
        text_screen({{197, story::kFran[0]}, {198, story::kFran[1]}, {199, nullptr},
                     {200, story::kTalkToFran}, {201, story::kAskAboutVictim}},
                    196, 202, 203);
    if (s_.when(205, [&] { return matches({"TALK TO FRAN"}) & at(9); }))
        text_screen({{207, story::kFranAccount[0]}, {208, story::kFranAccount[1]},
                     {209, story::kFranAccount[2]}},
                    206, 210, 211);
    if (s_.when(213, [&] { return matches({"ASK ABOUT VICTIM"}) & at(9); }))
        text_screen({{215, story::kFranOnVictim}}, 214, 216, 217);
    if (s_.when(220, [&] { return matches({"EXAMINE HANK"}) & at(5); }))
        text_screen({{222, story::kHank[0]}, {223, story::kHank[1]}, {224, nullptr},
                     {225, story::kTalkToHank}},
                    221, 226, 227);
    if (s_.when(229, [&] { return matches({"TALK TO HANK"}) & at(5); }))
        text_screen({{231, story::kHankAccount[0]}, {232, story::kHankAccount[1]}}, 230, 233, 234);
    if (s_.when(237, [&] { return matches({"EXAMINE DOC"}) & at(10); }))
        text_screen({{239, story::kDoc[0]}, {240, story::kDoc[1]}, {241, nullptr},
                     {242, story::kTalkToDoc}},
                    238, 243, 244);
    if (s_.when(246, [&] { return matches({"TALK TO DOC"}) & at(10); }))
        text_screen({{248, story::kDocAccount[0]}, {249, story::kDocAccount[1]},
                     {250, story::kDocAccount[2]}},
                    247, 251, 252);
    if (s_.when(255, [&] { return matches({"PRESENT EVIDENCE"}) & at(12); })) win_ending();
    finish();
}

// ---------------------------------------------------------------- the solved case

void Adventure::win_ending() {
    s_.target(314);
    s_.run(315, [&] { rt_.text.set_color(14, 1, 0, 3); });
    s_.run(316, [&] { rt_.text.clear_screen(0, 0, 0); });
    for (int32_t i = 0; i < 5; ++i) print_line(317 + i, story::kWinFirst[i]);
    empty_line(322);
    for (int32_t i = 0; i < 4; ++i) print_line(323 + i, story::kWinSecond[i]);
    empty_line(327);
    print_line(328, story::kWinThird[0]);
    print_line(329, story::kWinThird[1]);
    empty_line(330);
    print_line(331, story::kPressAnyKey);
    key_pause(332, 333);
    s_.run(334, [&] { rt_.text.clear_screen(0, 0, 0); });
    print_line(335, story::kTrain[0]);
    print_line(336, story::kTrain[1]);
    empty_line(337);
    empty_line(338);
    for (int32_t i = 0; i < 4; ++i) print_line(339 + i, story::kTelegram[i]);
    empty_line(343);
    print_line(344, story::kNextCase);
    empty_line(345);
    print_line(346, story::kNextEpisode);
    key_pause(347, 348);
    rt_.program_end();
}

}  // namespace quendrel
