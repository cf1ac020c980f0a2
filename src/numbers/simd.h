// The one switch between the 16-byte scans of text and their portable twins:
// QSTAT_HAVE_SSE2 is defined, and the SSE2 intrinsics declared, where the
// processor has them (every x86-64 processor does). Every file that tests
// the switch includes this header itself.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QSTAT_HAVE_SSE2 1
#endif
