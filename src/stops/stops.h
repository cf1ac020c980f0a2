// The ways a run ends, and the messages of run-time errors and warnings.
// Above the platform layer, which writes, walks the stack and ends the
// process for them; every other part of the programs stops through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "errors/errors.h"

struct StackFrame;

// One substitution of a pattern: `letter` after a % stands for `text`.
struct Substitution {
    char letter;
    const char* text;
};

// Copies `pattern` into `out` with each %x for which `substitutions` has a
// letter x replaced by its text; any other % stays as it is. Writes at most
// `capacity` bytes (no NUL), cutting a longer result, and returns how many.
std::size_t substitute(char* out, std::size_t capacity, const char* pattern,
                       std::span<const Substitution> substitutions);

// The decimal digits of `value`, with a minus sign when it is negative,
// NUL-terminated in `out`. Returns `out`.
constexpr std::size_t decimalTextSize = 21;  // 19 digits, a sign and the NUL
const char* decimalText(char (&out)[decimalTextSize], std::int64_t value);

// The longest message line, CR LF included: "tarnlib: severe (179): " (23),
// a message text of at most 52 characters or a warning's of at most 100,
// ", unit " and a unit of at most 3 characters, ", file " and a name of at
// most 256, ", line " and 19 digits, CR LF: at most 23 + 100 + 10 + 263 +
// 26 + 2 = 424.
constexpr std::size_t messageLineSize = 432;

// Forms the message line of a run-time error, CR LF included, into `out`
// (at least messageLineSize bytes): "tarnlib: <severity> (<number>): " and the
// text of `number` with `unit` and `fileName`, then ", line <line>" when
// `line` is positive. Returns its length.
std::size_t formatRunTimeMessage(char* out, const char* severity, int number, int unit, const char* fileName,
                                 std::int64_t line = 0);

// Forms a warning line, CR LF included, into `out` (at least messageLineSize
// bytes): "tarnlib: warning: <text>", then ", unit <unit>, file <fileName>"
// unless `fileName` is null. `text` has at most 100 characters. Returns its
// length.
std::size_t formatWarning(char* out, const char* text, int unit, const char* fileName);

// Writes the warning of formatWarning to standard error, without a stack
// listing; the run goes on.
void writeWarning(const char* text, int unit = 0, const char* fileName = nullptr);

// Forms the stack listing (header line and one line a frame, each ended by
// CR LF) into `out`. Returns its length, at most `capacity`.
std::size_t formatStackListing(char* out, std::size_t capacity, const StackFrame* frames, int count);

// Writes `text` to standard output as it stands; a refused write is run-time
// error 38 on unit -1.
void writeConsole(const char* text, std::size_t length);

// The plain stop: ends the process with `exitStatus` (0 for a normal end),
// printing nothing. Never returns.
[[noreturn]] void stopRun(int exitStatus = 0);

// The message of a run-time error that does not end the run (severity
// "error"), with a stack listing, on standard error.
void reportRunTimeError(int number, int unit, const char* fileName);

// The run-time error stop: the message (severity "severe") and a stack
// listing on standard error, then the end of the run with `number` as exit
// status. Never returns.
[[noreturn]] void raiseRunTimeError(int number, int unit, const char* fileName);
