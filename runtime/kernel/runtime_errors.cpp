#include "runtime/kernel/runtime_errors.h"

#include <cstdio>

namespace quendrel {

namespace {

struct ErrorText {
    int32_t code;
    const char* message;
};

constexpr ErrorText kErrorTable[] = {
    {1, "NEXT without FOR"},
    {2, "Syntax error"},
    {3, "RETURN without GOSUB"},
    {4, "Out of DATA"},
    {5, "Illegal function call"},
    {6, "Overflow"},
    {7, "Out of memory"},
    {8, "Label not defined"},
    {9, "Subscript out of range"},
    {10, "Duplicate definition"},
    {12, "Illegal in direct mode"},
    {13, "Type mismatch"},
    {14, "Out of string space"},
    {16, "String formula too complex"},
    {17, "Cannot continue"},
    {18, "Function not defined"},
    {19, "No RESUME"},
    {20, "RESUME without error"},
    {24, "Device timeout"},
    {25, "Device fault"},
    {26, "FOR without NEXT"},
    {27, "Out of paper"},
    {29, "WHILE without WEND"},
    {30, "WEND without WHILE"},
    {33, "Duplicate label"},
    {35, "Subprogram not defined"},
    {37, "Argument-count mismatch"},
    {38, "Array not defined"},
    {40, "Variable required"},
    {50, "FIELD overflow"},
    {51, "Internal error"},
    {52, "Bad file name or number"},
    {53, "File not found"},
    {54, "Bad file mode"},
    {55, "File already open"},
    {56, "FIELD statement active"},
    {57, "Device I/O error"},
    {58, "File already exists"},
    {59, "Bad record length"},
    {61, "Disk full"},
    {62, "Input past end of file"},
    {63, "Bad record number"},
    {64, "Bad file name"},
    {67, "Too many files"},
    {68, "Device unavailable"},
    {69, "Communication-buffer overflow"},
    {70, "Permission denied"},
    {71, "Disk not ready"},
    {72, "Disk-media error"},
    {73, "Feature unavailable"},
    {74, "Rename across disks"},
    {75, "Path/File access error"},
    {76, "Path not found"},
    {258, "Invalid handle"},
    {300, "Memory region out of range"},
    {301, "Invalid size"},
    {302, "Source memory region out of range"},
    {303, "Destination memory region out of range"},
    {304, "Source and destination memory regions out of range"},
    {305, "Source memory has been freed"},
    {306, "Destination memory has been freed"},
    {307, "Memory already freed"},
    {308, "Memory has been freed"},
    {309, "Memory not initialized"},
    {310, "Source memory not initialized"},
    {311, "Destination memory not initialized"},
    {312, "Source and destination memory not initialized"},
    {313, "Source and destination memory have been freed"},
};

struct CriticalText {
    int32_t code;
    const char* text;
    const char* caption;
};

constexpr CriticalText kCriticalTable[] = {
    {11, "Division by zero", "Critical Error"},
    {256, "Out of stack space", "Critical Error"},
    {257, "Out of memory", "Critical Error #1"},
    {259, "Cannot find dynamic library file", "Critical Error"},
    {260, "Sub/Function does not exist in dynamic library", "Critical Error"},
    {261, "Sub/Function does not exist in dynamic library", "Critical Error"},
    {262, "Function unavailable in NUBRA", "Critical Error"},
    {263, "Paths/Filename illegal in NUBRA", "Critical Error"},
    {270, "_GL command called outside of SUB _GL's scope", "Critical Error"},
    {271, "END/SYSTEM called within SUB _GL's scope", "Critical Error"},
};

}  // namespace

const char* RuntimeErrors::error_message(int32_t code) {
    for (const auto& e : kErrorTable)
        if (e.code == code) return e.message;
    return nullptr;
}

bool RuntimeErrors::is_critical(int32_t code, const char** text, std::string* caption) {
    for (const auto& e : kCriticalTable) {
        if (e.code == code) {
            if (text) *text = e.text;
            if (caption) *caption = e.caption;
            return true;
        }
    }
    if (code >= 502 && code <= 518) {
        if (text) *text = "Out of memory";
        if (caption) *caption = "Critical Error #" + std::to_string(code - 500);
        return true;
    }
    return false;
}

void RuntimeErrors::raise_error(int32_t code) {
    const char* text = nullptr;
    std::string caption;
    if (is_critical(code, &text, &caption)) {
        platform_.message_box(text, caption, kBoxSystemModal | kBoxOk);
        platform_.exit_process(0);
    }
    int32_t expected = 0;
    // First error of a statement wins.
    if (run_.pending_error.compare_exchange_strong(expected, code <= 0 ? 5 : code))
        run_.pending_event.store(1);
}

void RuntimeErrors::halt_program_thread() {
    run_.stopped_threads.fetch_or(1);
    while (!run_.stop_threads.load()) platform_.sleep_ms(16);
    for (;;) platform_.sleep_ms(16);
}

void RuntimeErrors::statement_checkpoint(int32_t line, int32_t include_line,
                                         const char* include_file) {
    run_.pending_event.store(0);
    repeat_request = 0;
    while (run_.user_pause.load() || run_.stop_threads.load()) {
        if (run_.stop_threads.load()) halt_program_thread();
        platform_.sleep_ms(10);
    }
    if (run_.pending_error.load() != 0) {
        error_line = uint32_t(line);
        error_include_line = uint32_t(include_line);
        error_include_file = include_file ? include_file : "";
        error_dispatch();
        return;
    }
    event_dispatch();
}

void RuntimeErrors::error_dispatch() {
    int32_t code = run_.pending_error.load();
    bool critical = code >= 300 && code <= 313;
    const char* message = error_message(code);
    if (!message) message = "Unprintable error";
    uint32_t shown_line = error_include_line ? error_include_line : error_line;
    const char* module = error_include_line ? error_include_file.c_str() : "main module";

    char text[1024];
    std::snprintf(text, sizeof text, "Line: %u (in %s)\n%s%s", shown_line, module, message,
                  critical ? "" : "\nContinue?");
    char caption[64];
    std::snprintf(caption, sizeof caption, "%s%u",
                  critical ? "Critical Error #" : "Unhandled Error #", uint32_t(code));

    if (critical) {
        platform_.message_box(text, caption, kBoxOk);
        platform_.exit_process(0);
    }
    int answer = platform_.message_box(text, caption, kBoxSystemModal | kBoxYesNo);
    if (answer == kBoxResultNo || answer == kBoxResultOk) {
        run_.stop_program.store(1);
        halt_program_thread();
    }
    run_.pending_error.store(0);
}

void RuntimeErrors::event_dispatch() {
    // One event at a time, always restarting from the highest-priority kind.
    bool again = true;
    while (again) {
        again = false;
        for (EventSource* source : sources_) {
            if (source && source->take_one()) {
                again = true;
                break;
            }
        }
    }
}

uint64_t RuntimeErrors::array_index_check(uint64_t offset, uint64_t count) {
    if (offset < count) return offset;
    raise_error(9);
    return 0;
}

}  // namespace quendrel
