%SIMRUN Run a model of blocks and return its signals as arrays.
%   out = simrun(model)
%   out = simrun(model, 'Name', value, ...)
%   runs a model of the toolbox's blocks in fixed steps, inside Octave or
%   MATLAB (no Simulink needed), with the same engine, rules and messages as
%   the command-line model runner, and returns the signals of its workspace
%   sink.
%
%   model is the name of a model file (JSON; the format is that of the
%   command-line runner: sources, blocks, sinks, start, stop, step), or a
%   struct with the same fields:
%     m.stop = 86400; m.step = 60;
%     m.sources = struct('name', 'clock', 'type', 'clock');
%     m.blocks(1).name = 'decl'; m.blocks(1).type = 'heliolean';
%     m.blocks(1).inputs = {'clock'};
%   Parameters are numbers, row vectors, matrices or char rows; a list of
%   objects (sources, blocks, sinks) is a struct array or a cell array of
%   structs. A block's type is one of the toolbox's blocks or a standard
%   block (gain, sum, product, expression, lookup, saturation, switch,
%   relay, integrator, statespace, transfer, delay: help stdblocks), whose
%   matrix parameters keep their shape ([0; 1] is a column):
%     m.blocks = struct('name', 'room', 'type', 'statespace', 'inputs', 'q', ...
%                       'parameters', {{[-1e-4 5e-5; 2e-5 -3e-5], [1e-6; 0], ...
%                                       eye(2), [0; 0], [20 20]}});
%   m.solver = struct('method', 'bdf', 'rtol', 1e-6, 'atol', 1e-6,
%   'max_step', 0) chooses how continuous states are integrated (these are
%   the defaults; methods bdf, adams, rk4, euler).
%   A field holding [] counts as not given (every element of a struct array
%   has every field). Messages name parts the way the file reader does,
%   counting from 0: blocks[1] is m.blocks(2).
%
%   Lists of items (parameters, inputs, signals, columns, fields) are cell
%   arrays, and one item given alone is a list of one: a number or a row of
%   numbers is one parameter, a char row one signal or name, and an empty
%   array an empty list. So 'parameters', 1 is {1}; 'parameters', [1 2] is
%   {[1 2]}, one row parameter (two parameters are {1, 2}); 'inputs',
%   'clock' is {'clock'}. The same holds for simblock's parameters.
%
%   Sources as in the model file (constant, clock, csv), and matrix: data
%   from the workspace, with the rules of csv sources (interpolation
%   'linear' or 'hold', period and offset, columns picked by name):
%     struct('name', 'weather', 'type', 'matrix', 'time', t, 'values', X, ...
%            'columns', {{'T', 'RH', 'N'}}, 'interpolation', 'linear')
%   t holds increasing times in seconds (a vector), X one row per time and
%   one column per named column; an infinite value in X is refused with its
%   row and column, as in a CSV file, and so is an empty t or X.
%
%   Sinks as in the model file (csv, table; with 'every' and 'reduce' a row
%   holds the 'mean', 'min', 'max', 'sum' or 'integral' over the interval
%   that ends at its time: see the runner's documentation), and workspace
%   (samples only): the signals to
%   return, with 'every' (seconds between rows) and a signal given as
%   struct('signal', 'sky', 'name', 'T_sky') to name its field. out has the
%   field time (a column of the sink's times) and one field per signal, N by
%   the signal's width, named after the signal with every run of other
%   characters than letters, digits and _ made one _ (weather[T] gives
%   weather_T, sky:2 gives sky_2). A model has one workspace sink at most;
%   without one, out has every source and every block output port at every
%   step. csv files and what tablogger writes go into the current folder or
%   OutputDir; tables and what printer prints appear in the command window.
%
%   Options
%     'OutputDir'   folder for relative output file names (made if missing)
%     'Start', 'Stop', 'Step'   override the model's times, in seconds
%     'Progress'    true: a one-line progress indicator in the command
%                   window for runs longer than a second
%     'SolverStats' true: after the run, print the solver's steps,
%                   right-hand-side evaluations, events and failures (the
%                   runner's --solver-stats)
%     'Set'         overrides, as the command-line runner's --set: a cell
%                   list of path/value pairs changing values of the model
%                   before it is checked and run, such as
%                   {'stop', 86400, 'blocks.sky.parameters[1]', 0}. Paths:
%                   start, stop, step, blocks.<name>.parameters[i] (a
%                   matrix where the model has a list or a matrix),
%                   sources.<name>.file, sources.<name>.value,
%                   sinks[i].every, sinks[i].reduce, solver.method,
%                   solver.rtol, solver.atol and solver.max_step (lists
%                   count from 1). A value must be of
%                   the kind the model has there; a relative file name is
%                   taken in the current folder. A path the model does not
%                   have, or a value of another kind, raises
%                   simblocks:simrun:args naming the path.
%
%   Errors carry an identifier and the command-line runner's message, which
%   names the block, source or sink (and the simulation time):
%     simblocks:simrun:args     a bad argument or option
%     simblocks:simrun:model    the model: its document, unknown types,
%                               names, wiring, times
%     simblocks:simrun:source   a source's data (file missing, times that
%                               do not increase, ...)
%     simblocks:simrun:block    a block refused its parameters or inputs,
%                               or reported an error during the run
%     simblocks:simrun:sink     a sink: its signals, a file it cannot write,
%                               the output folder
%     simblocks:simrun:loop     an algebraic loop ("algebraic loop: a -> b
%                               -> a")
%     simblocks:simrun:solver   the solver failed during the run, with the
%                               time and its reason (rows written are kept)
%     simblocks:simrun:memory   out of memory
%     simblocks:simrun:interrupted   Ctrl-C (see below)
%   After an error, files are closed, blocks terminated and libraries
%   released; the next run starts afresh.
%
%   Ctrl-C: in Octave, Ctrl-C ends a run after the step under way (a wait
%   block stops waiting), within a second: every row computed is written,
%   each file ending on a whole row, the blocks are terminated, and the run
%   ends with the error simblocks:simrun:interrupted, "interrupted at t = T
%   s, after step K of N; every row up to it is written". The session goes
%   on. In MATLAB it cannot: MATLAB's documented MEX API gives a MEX file no
%   way to see a pending Ctrl-C, and the toolbox relies on no undocumented
%   one, so the run goes on to its end (or its error) before MATLAB acts on
%   the key. Stop long runs there with a shorter 'Stop', or run the model
%   with the command-line runner, which stops on SIGINT.
%
%   The blocks are built against the toolbox's own block record and frame
%   and run on its engine: here, in simblock, and in the command-line runner
%   on the embedded host. They are tested there, in Octave and on the
%   embedded host; their use as S-Function blocks inside a Simulink model
%   is not tested.
%
%   Example
%     out = simrun('examples/roof.json');
%     plot(out.time / 3600, out.sky)
%     m = struct('stop', 3600, 'step', 60, 'sources', ...
%                struct('name', 'clock', 'type', 'clock'));
%     m.blocks = struct('name', 'g0', 'type', 'topflux', 'inputs', 'clock');
%     out = simrun(m);   % out.time, out.clock, out.g0
%
%   See also SIMBLOCK, STDBLOCKS.
