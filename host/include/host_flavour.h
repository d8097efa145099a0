/*
 * What a MEX file may need of the host that runs it beyond the MEX API
 * itself, answered once per flavour: the embedded host (our mex.h), GNU
 * Octave (its mex.h defines HAVE_OCTAVE) and MATLAB (any other mex.h).
 *
 * host_interrupt_pending(): whether the user has asked to interrupt the
 * call under way (Ctrl-C). A long call looks at it between small pieces of
 * work; when it is set, the call releases what it holds, calls
 * host_interrupt_take() and ends with its own "simblocks:<name>:interrupted"
 * error. Taking the request matters: the host would otherwise act on it a
 * second time once the call has ended, and a script that catches the error
 * could not go on. A block that merely waits (wait) only looks, and leaves
 * the request to the engine that drives it.
 *   - Octave: its count of pending interrupts (octave_interrupt_state, from
 *     its quit.h), which its SIGINT handler raises while a MEX file runs.
 *   - MATLAB: its documented MEX API gives a MEX file no way to see a
 *     pending interrupt, and the toolbox does not rely on an undocumented
 *     one: never. MATLAB acts on Ctrl-C once the call has returned.
 *   - The embedded host: never. Its programs stop a run between steps
 *     through the runner's own stop flag (simrun on SIGINT or SIGTERM).
 *
 * HOST_BUILDS_STRUCTS_BY_CALL: 1 where a large structure array is better
 * built by the host's own functions (mexCallMATLAB) from a few flat arrays
 * than element by element through the MEX API. Octave turns every mxArray
 * of a returned structure array into a value of its own when the call
 * returns, holding both at once: a million records of five fields peak at
 * three times the array's own size, and take three times as long.
 */
#ifndef SIMBLOCKS_HOST_FLAVOUR_H
#define SIMBLOCKS_HOST_FLAVOUR_H

#include "mex.h"

#if defined(HAVE_OCTAVE)

#include <octave/quit.h>

/* Read through a volatile access: Octave's signal thread sets the count
   (a plain sig_atomic_t) while the call runs, and a loop that calls nothing
   the compiler cannot see through (a memset, say) would otherwise read it
   once, before the loop. */
static inline int host_interrupt_pending(void) { return *(volatile sig_atomic_t *)&octave_interrupt_state > 0; }
static inline void host_interrupt_take(void) { octave_interrupt_state = 0; }
#define HOST_BUILDS_STRUCTS_BY_CALL 1

#else

static inline int host_interrupt_pending(void) { return 0; }
static inline void host_interrupt_take(void) {}
#define HOST_BUILDS_STRUCTS_BY_CALL 0

#endif

#endif
