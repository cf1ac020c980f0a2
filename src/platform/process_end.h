// In builds for fuzzing and in-process tests, endProcess throws this instead
// of ending the process, so that a harness can catch the end of a run and go
// on. The programs themselves are never built this way.
#pragma once

struct ProcessEnd {
    int status;
};
