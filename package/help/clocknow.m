%CLOCKNOW The local clock as seconds of year (block).
%   The clocknow block reads the computer's local clock at every output call
%   and outputs it as seconds of year: whole seconds since local 1 January
%   00:00:00 of the current year, counting 29 February in leap years (the
%   years divisible by 4).
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). No dialog parameters. It is a Level-2
%   S-function; its use as an S-Function block in a Simulink model
%   (S-function name clocknow) is not tested.
%
%   Input ports              none
%   Output port 1, width 1   local time, seconds of year (whole seconds)
%   Parameters               none
%   Sample time              continuous; no states, no work vectors
%
%   The count falls back to 0 at local midnight into the new year and jumps
%   by the size of a daylight-saving change. The clock is read afresh at
%   every call.
%
%   Error: "The local time could not be obtained from the system clock"
%   stops the simulation when the system gives no local time.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:clocknow:tooFewInputs    fewer than 4 arguments
%     simblocks:clocknow:tooManyOutputs  more than one output
%     simblocks:clocknow:flagNotInteger  FLAG not an integer scalar
%     simblocks:clocknow:invalidFlag     FLAG other than 0
%     simblocks:clocknow:nameMismatch    library file renamed
%
%   Example
%     sizes = clocknow([], [], [], 0);   % sizes(3) = 1, sizes(4) = 0
%     In a model, at local 1 March 00:00:10 the output is 5184010 in 2024
%     and 5097610 in 2025.
%
%   See also CALENDARNOW, STAMPIN, WAIT.
