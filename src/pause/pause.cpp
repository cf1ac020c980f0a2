// The read-error stop and its pause.
#include "pause/pause.h"

#include <cstddef>

#include "platform/platform.h"
#include "stops/stops.h"
#include "textio/console.h"
#include "textio/free_form.h"
#include "textio/record_source.h"

void pauseRun() {
    static const char prompt[] = "Tarn Pause - Enter command<CR> or <CR> to continue.\n";
    constexpr std::size_t lineLimit = 1024;  // a typed line is cut to this
    char line[lineLimit + 1];                // and a NUL for the command interpreter
    RecordSource input = standardInputSource();
    for (;;) {
        writeConsole(prompt, sizeof prompt - 1);  // ends in LF alone
        std::ptrdiff_t length = readRecordText(input, line, lineLimit);
        if (input.failed) raiseRunTimeError(errRead, inputUnit, inputName);
        // An empty line ends the pause; so does the end of input, where no
        // further line could ever be typed.
        if (length <= 0) return;
        // Only a person at a terminal types commands here. From a pipe or a
        // file the line is data, the output of some other program, and
        // running it would turn data into commands.
        if (!standardInputIsTerminal()) {
            writeWarning("command not run, standard input is not a terminal");
            return;
        }
        line[length] = '\0';
        runCommandInterpreter(line);
    }
}

void readErrorStop(int error, int unit, const char* fileName, std::int64_t line) {
    char text[messageLineSize];
    std::size_t length = formatRunTimeMessage(text, "error", error, unit, fileName, line);
    writeStandardError(text, length);
    writeFreeFormLine("Error reading input file");
    pauseRun();
    stopRun(error);
}
