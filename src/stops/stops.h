// The ways a run ends, and the messages of run-time errors and warnings.
// Above the platform layer, which writes, walks the stack and ends the
// process for them; every other part of the programs stops through here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "errors/errors.h"

struct StackFrame;

// Forms the message line of a run-time error, CR LF included, into `out`
// (at least messageLineSize bytes): "tarnlib: <severity> (<number>): " and the
// text of `number` with `unit` and `fileName`, then ", line <line>" when
// `line` is positive. Returns its length.
constexpr std::size_t messageLineSize = 400;
std::size_t formatRunTimeMessage(char* out, const char* severity, int number, int unit, const char* fileName,
                                 std::int64_t line = 0);

// Forms the stack listing (header line and one line a frame, each ended by
// CR LF) into `out`. Returns its length, at most `capacity`.
std::size_t formatStackListing(char* out, std::size_t capacity, const StackFrame* frames, int count);

// The plain stop: ends the process with `exitStatus` (0 for a normal end),
// printing nothing. Never returns.
[[noreturn]] void stopRun(int exitStatus = 0);

// The pause prompt: repeats until the user enters an empty line or standard
// input ends; any other line is run by the command interpreter when standard
// input is a terminal, and otherwise ends the pause with a warning on
// standard error, running nothing.
void pauseRun();

// The read-error stop for a row whose read failed with `error` on line
// `line` of the file `fileName` (unit `unit`): a message on standard error
// that names them, "Error reading input file" on standard output, the pause,
// then the end of the run with `error` as exit status. Never returns.
[[noreturn]] void readErrorStop(int error, int unit, const char* fileName, std::int64_t line);

// The message of a run-time error that does not end the run (severity
// "error"), with a stack listing, on standard error.
void reportRunTimeError(int number, int unit, const char* fileName);

// The run-time error stop: the message (severity "severe") and a stack
// listing on standard error, then the end of the run with `number` as exit
// status. Never returns.
[[noreturn]] void raiseRunTimeError(int number, int unit, const char* fileName);
