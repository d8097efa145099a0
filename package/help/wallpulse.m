%WALLPULSE One-shot pulse timed by the wall clock (block).
%   The wallpulse block is a monostable: a chosen change of its input
%   starts a pulse, and the output is 1 for a set number of seconds of
%   wall-clock time (the computer's local clock, not simulation time), then
%   0 again. A running pulse cannot be retriggered.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). Dialog parameters: the pulse length and
%   the trigger mode below, such as 5, 1. It is a Level-2 S-function; its
%   use as an S-Function block in a Simulink model (S-function name
%   wallpulse) is not tested.
%
%   Parameter 1              pulse length, seconds of wall-clock time,
%                            truncated toward zero (2.9 acts as 2)
%   Parameter 2              trigger mode, mode + 0.1 truncated toward zero:
%                            1 rising edge, 2 falling edge, 3 any change;
%                            any other mode never triggers
%   Input port 1, width 1    trigger signal, meant as 0 and 1
%   Output port 1, width 1   1 while a pulse runs, else 0
%   Sample time              continuous; integer work vector of 2 (the end
%                            of the running pulse, the previous input)
%
%   At each output call, while no pulse runs and the input differs from the
%   previous one: mode 3 triggers; mode 2 triggers when the input is below
%   0.1 and the previous one was 1 or more; mode 1 triggers when the input
%   is above 0.9 and the previous one was 0 or less. The previous input is
%   kept truncated toward zero (0.5 is kept as 0) and counts as 0 at the
%   start, so in mode 1 an input that is 1 from the start triggers at once.
%   The previous input is updated at every call, also during a pulse, so a
%   change during a pulse is forgotten after it. The clock has whole
%   seconds: a pulse of length d lasts between d - 1 and d seconds, plus the
%   time to the next output call. A length of 0 or less gives no pulse.
%   A pulse keeps its length across midnight of 31 December.
%
%   Error: "The local time could not be obtained from the system clock"
%   stops the simulation when the system gives no local time.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:wallpulse:tooFewInputs    fewer than 4 arguments
%     simblocks:wallpulse:tooManyOutputs  more than one output
%     simblocks:wallpulse:flagNotInteger  FLAG not an integer scalar
%     simblocks:wallpulse:invalidFlag     FLAG other than 0
%     simblocks:wallpulse:nameMismatch    library file renamed
%
%   Example
%     sizes = wallpulse([], [], [], 0, 5, 1);   % sizes(8) = 2, sizes(9) = 2
%     In a model with parameters 5 and 1, an input stepping from 0 to 1
%     gives an output of 1 for 5 seconds of wall-clock time.
%
%   See also WAIT, CLOCKNOW.
