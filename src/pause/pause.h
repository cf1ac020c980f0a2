// The read-error stop and the pause prompt that it ends in: the way a run
// ends at a row of the series that cannot be read. Above the text records,
// since the pause reads its line as a record of standard input.
#pragma once

#include <cstdint>

// The pause prompt: repeats until the user enters an empty line or standard
// input ends; any other line is run by the command interpreter when standard
// input is a terminal, and otherwise ends the pause with a warning on
// standard error, running nothing. A refused read of standard input is
// run-time error 39 on unit -4.
void pauseRun();

// The read-error stop for a row whose read failed with `error` on line
// `line` of the file `fileName` (unit `unit`): a message on standard error
// that names them, "Error reading input file" on standard output, the pause,
// then the end of the run with `error` as exit status. Never returns.
[[noreturn]] void readErrorStop(int error, int unit, const char* fileName, std::int64_t line);
