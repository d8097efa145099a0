%STDBLOCKS The standard blocks a model needs: arithmetic, tables, switching, states.
%   The standard blocks are built into the engine: a block whose type is
%   one of the names below needs no library file. They work in model files,
%   in struct models (simrun), in studies, with --set and 'Set', and alone
%   with simblock. Their parameters come in the order given here: numbers,
%   lists (a row), matrices (in a model file a list of lists, one list per
%   row, [[1, 0], [0, 1]]; in Octave and MATLAB a numeric matrix) or text.
%   A parameter shown as "a number or one per element" takes one number for
%   every element of the signal, or a list as long as the signal.
%
%     m.blocks = struct('name', 'err', 'type', 'sum', 'parameters', '+-', ...
%                       'inputs', {{'setpoint', 'room'}});
%     y = simblock('transfer', {1, [3600 1]}, t, u);
%
%   Several of these names (sum, lookup, switch, ...) are Octave's own
%   functions as well: `help stdblocks` is this page; `help sum` is Octave's.
%
%   Arithmetic (outputs follow the inputs at the same instant)
%     gain [k]            one input, one output of its width: k times the
%                         input; k a number or one per element.
%     sum [signs]         one input port per character of signs ('+-+'):
%                         the inputs added ('+') or subtracted ('-')
%                         element by element; an input of one element is
%                         spread over the others' width.
%     product [ops]       like sum with '*' (multiply) and '/' (divide).
%     expression [formula]   one input port, one output element: the
%                         formula of the input's elements u1, u2, ... (u
%                         when it has one) and the time t, with the usual
%                         operators (+ - * / ^), comparisons (< <= > >= ==
%                         !=), && ||, c ? a : b, and the functions of C's
%                         maths library as C computes them: sin cos tan asin
%                         acos atan atan2 sinh cosh tanh exp exp2 expm1 log
%                         log2 log10 log1p sqrt cbrt abs fabs floor ceil
%                         round trunc rint erf erfc pow fmod hypot fmin fmax
%                         copysign, and min, max, sum, avg of any number of
%                         arguments. Parsed by muparser before the run.
%
%   Tables
%     lookup [breakpoints, values] or [breakpoints, values, method, ends]
%                         one input, one output of its width: the 1-D table
%                         applied to each element. method 'linear'
%                         (default: straight lines between breakpoints) or
%                         'hold' (the value of the breakpoint at or below
%                         the input); ends 'clamp' (default: the end values
%                         beyond the table) or 'extrapolate' (the end
%                         segments continued; with 'hold' as clamp). The
%                         breakpoints increase strictly and are as many as
%                         the values.
%
%   Switching (each changes where its input crosses a point: an event)
%     saturation [lower, upper]   the input limited to [lower, upper], each
%                         a number or one per element, lower <= upper.
%     switch [threshold]  three input ports (a, control, b), one output: a
%                         where control >= threshold, else b, element by
%                         element (a one-element port is spread over the
%                         others' width).
%     relay [on_point, off_point, on_value, off_value]   one input, one
%                         output of its width: on_value once the input rises
%                         to on_point or above, off_value once it falls to
%                         off_point or below, else as it was (a band of
%                         hysteresis); on at the start if the input is at or
%                         above on_point. on_point >= off_point. For a
%                         heating thermostat feed it setpoint - temperature:
%                         relay [0.5, -0.5, P, 0] gives P within a 1 K band.
%
%   States (their output does not depend on the input at the same instant,
%   except where said, so a loop through them is allowed)
%     integrator [x0] or [x0, lower, upper]   one input, one output of its
%                         width: a continuous state per element, the output
%                         the state, the input its derivative, starting at
%                         x0 (a number or one per element). With limits the
%                         state stays within [lower, upper]: it stops at a
%                         limit (an event) and leaves it when the input
%                         points back inside.
%     statespace [A, B, C, D, x0]   dx/dt = A x + B u, y = C x + D u: A n x
%                         n, B n x m, C p x n, D p x m, x0 n values; one
%                         input port of width m = columns(B), one output of
%                         width p = rows(C). Its output depends on the input
%                         at the same instant when D is not all zero.
%     transfer [numerator, denominator]   a proper continuous transfer
%                         function, coefficients in descending powers of s
%                         ([1] / [3600 1] is 1 / (3600 s + 1)), zero
%                         initial state, applied to each element of its
%                         input. Its output depends on the input at the same
%                         instant unless it is strictly proper (numerator of
%                         lower degree).
%     delay [x0]          a unit delay at the model's step: the input of
%                         the previous step (x0, a number or one per
%                         element, at the first). Its output changes at the
%                         model's steps only.
%
%   Time. Models with continuous states (integrator, statespace, transfer)
%   are integrated by the solver the model names, "solver": {"method":
%   "bdf", "rtol": 1e-6, "atol": 1e-6, "max_step": 0} (those are the
%   defaults; methods bdf and adams (SUNDIALS CVODE, variable step, max_step
%   0 for no limit), rk4 and euler (fixed steps of min(step, max_step))).
%   Standard blocks and the sources (constant, clock, csv, epw, matrix; one
%   with a period holds its last hit) are evaluated wherever the solver
%   needs them; the toolbox's library blocks, the sinks and delay act at
%   the model's steps, and a library block's outputs hold from one step to
%   the next. relay, switch, saturation, lookup with 'hold' and integrator
%   limits change where their input crosses the point, found by the
%   solver's root finding, not at the next step. simrun's 'SolverStats'
%   option (the runner's --solver-stats) prints the solver's steps,
%   right-hand-side evaluations, events and failures after the run.
%
%   Loops. A signal may feed back into the blocks that make it when the
%   loop passes a block whose output does not depend on its input at the
%   same instant (integrator, statespace with D = 0, a strictly proper
%   transfer, delay, or a library block without direct feedthrough). Any
%   other loop is an algebraic loop, refused before the run with the blocks
%   in order: "algebraic loop: a -> b -> a".
%
%   Errors, before anything runs, name the block and the parameter by
%   number and name, as "block 'room' (statespace): parameter 2 (B) has 3
%   rows, A has 2". Among them: a parameter count not in the list above
%   ("expects 2 parameters (numerator, denominator), got 1"), text where
%   numbers go and numbers where text goes, a value that is not finite, a
%   list whose length is neither 1 nor the signal's width, a sum's signs or
%   a product's ops with other characters, a formula that does not parse
%   (with its position) or names a variable other than t, u, u1, u2, ..., a
%   lookup whose breakpoints do not increase or differ in count from its
%   values or whose method or ends is not one of its words, lower above
%   upper (saturation, integrator, or x0 outside them), a relay whose
%   on_point is below its off_point, a statespace whose matrices do not fit
%   each other or the input, an improper transfer function (numerator of
%   higher degree) or a zero leading denominator coefficient, inputs of
%   widths that cannot be combined. In Octave and MATLAB they raise
%     simblocks:simrun:block     (simrun) a block refused its parameters or
%                                inputs
%     simblocks:simblock:block   (simblock) the same
%     simblocks:simrun:model     the model: an unknown solver method, a
%                                tolerance that is not positive, a negative
%                                max_step ("solver: rtol must be positive")
%     simblocks:simrun:loop      an algebraic loop
%     simblocks:simrun:solver    the solver failed during the run (a state
%                                that goes to infinity): "solver (bdf) failed
%                                at t = T s: ..."; every row written before
%                                is kept
%
%   See also SIMRUN, SIMBLOCK.
