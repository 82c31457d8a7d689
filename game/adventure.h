// Tallowby Episode Ten: Quendrel, as a translator emits it: every statement
// carries its source line and follows the statement protocol (statements.h).
//
// Source lines: 1-81 start-up and main loop, 84-97 describe_location,
// 99-259 run_command, 261-312 the location texts, 314-348 the solved-case
// ending, 352-388 read_command with the failure ending.
#pragma once

#include <cstdint>
#include <string>

#include "game/statements.h"
#include "runtime/runtime.h"

namespace quendrel {

class Adventure {
public:
    explicit Adventure(Runtime& rt);
    // Lines 1 to 81; never returns (the run ends through program_end).
    [[noreturn]] void main_program();

private:
    // Title sequence and main screen.
    void draw_main_screen();
    void key_pause(int32_t drain_line, int32_t wait_line);
    void wait_for_key(int32_t line);
    void print_line(int32_t line, const char* text);
    void print_text(int32_t line, const char* text);
    void print_line(int32_t line, StringDescriptor* text);
    void empty_line(int32_t line);
    StringDescriptor* literal(const char* text);
    StringDescriptor* current_exits();

    // Command reader and case clock.
    StringDescriptor* read_command();
    [[noreturn]] void failure_ending(Statements& s);

    // Command interpreter.
    void run_command();
    bool is_command(std::initializer_list<const char*> words);
    void text_screen(std::initializer_list<std::pair<int32_t, const char*>> rows,
                     int32_t clear_line, int32_t drain_line, int32_t wait_line);

    // Locations and moves.
    void describe_location();
    bool move(std::initializer_list<std::pair<int32_t, std::pair<float, float>>> steps);

    // The solved case.
    [[noreturn]] void win_ending();

    Runtime& rt_;
    Statements s_;

    // Program variables, carved from the static arena as translated code does.
    float& location_;
    float& has_knife_;
    float& clock_minutes_;
    float& clock_seconds_;
    float& clock_total_;
    double& deadline_;
    StringDescriptor* exits_[12];
    StringDescriptor* command_;

    // Banner rows built once from their parts.
    std::string banner_[7];
};

}  // namespace quendrel
