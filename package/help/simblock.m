%SIMBLOCK Run one block over a series of times and inputs.
%   y = simblock(name, params, t, u)
%   [y1, y2, ...] = simblock(name, params, t, u)
%   runs the block name (one of the toolbox's blocks) once per row of t,
%   without a model: at each time t(i) the block computes its outputs from
%   row i of u and then updates itself, whatever sample time it declares.
%
%   Arguments
%     name     the block's name, such as 'atmoglow'
%     params   a cell array of its dialog parameters, in the order its help
%              gives them ({} or [] for none); one parameter may be given
%              alone: simblock('atmoglow', 1, ...) is {1} (help simrun)
%     t        N times in seconds, increasing, as a vector
%     u        an N-by-width matrix for a block with one input port, or a
%              cell array of such matrices, one per input port (left out or
%              [] for a block without inputs); dynamically sized ports take
%              the width of their matrix
%   y1, y2, ...   N-by-width matrices, one per output port
%
%   A standard block (help stdblocks) runs as a model of that one block
%   whose steps are the rows of t, which must then be evenly spaced: each
%   input gives row i at t(i) and the straight line between rows where the
%   solver needs it, and continuous states are integrated over the series
%   (bdf, tolerances 1e-6; use simrun with a solver key for others).
%   Parameters are numbers, matrices ({A, B, C, D, x0} for statespace) or
%   text:
%     t = (0:60:86400)';
%     y = simblock('transfer', {1, [3600 1]}, t, ones(size(t)));  % 1 - exp(-t/3600)
%     y = simblock('relay', {0.5, -0.5, 1, 0}, t, sin(2 * pi * t / 86400));
%
%   Blocks that keep state see one run: the state starts at the first row
%   and goes on from row to row (tablogger opens its file at the start and
%   writes a row for each row whose trigger is high; printer numbers itself
%   like in a model and prints every row in the command window; wait
%   holds each row until the wall clock has moved on by its step, whatever
%   t says, so N rows take about N steps of real time; wallpulse times its
%   pulse on the wall clock, not on t). A block without output ports gives
%   an N-by-0 y.
%
%   Errors
%     simblocks:simblock:args    a bad argument (name, params, more outputs
%                                than ports)
%     simblocks:simblock:type    no block of that name beside simblock
%     simblocks:simblock:time    t is not a vector of finite, increasing
%                                times (evenly spaced for a standard block)
%     simblocks:simblock:width   u does not fit the block's input ports
%                                (number of matrices, columns, rows)
%     simblocks:simblock:block   the block refused its parameters or
%                                reported an error, with its message, as
%                                "block 'NAME' (NAME) at t = T s: ..."
%     simblocks:simblock:memory  out of memory
%     simblocks:simblock:interrupted  Ctrl-C in Octave: the call ends after
%                                the row under way (a wait block stops
%                                waiting), within a second; the block is
%                                terminated; "interrupted at t = T s, after
%                                row K of N". In MATLAB Ctrl-C cannot stop
%                                the call (help simrun).
%
%   Example
%     t = (0:3600:86400)';
%     T = 15 + 5 * sin(2 * pi * t / 86400); RH = 70 * ones(size(t)); N = 0.5 * ones(size(t));
%     Tsky = simblock('atmoglow', {1}, t, [T RH N]);
%     date = simblock('stampout', {}, t, t);   % month day hour minute second
%
%   See also SIMRUN, STDBLOCKS.
