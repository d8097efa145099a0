%CALENDARNOW One field of the local date and time (block).
%   The calendarnow block reads the computer's local clock at every output
%   call and outputs one field of the date and time, chosen by its
%   parameter.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). Dialog parameter: the field selector
%   below, such as 1. It is a Level-2 S-function; its use as an S-Function
%   block in a Simulink model (S-function name calendarnow) is not tested.
%
%   Parameter 1              field selector, truncated toward zero:
%                            1 year (four digits), 2 month (1 to 12),
%                            3 day of month, 4 hour, 5 minute, 6 second
%   Input ports              none
%   Output port 1, width 1   the selected field
%   Sample time              continuous; no states, no work vectors
%
%   The time is the local time as the operating system gives it (time zone
%   and daylight-saving time included). A selector outside 1 to 6 writes
%   nothing: the output keeps its value.
%
%   Error: "The local time could not be obtained from the system clock"
%   stops the simulation when the system gives no local time.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:calendarnow:tooFewInputs    fewer than 4 arguments
%     simblocks:calendarnow:tooManyOutputs  more than one output
%     simblocks:calendarnow:flagNotInteger  FLAG not an integer scalar
%     simblocks:calendarnow:invalidFlag     FLAG other than 0
%     simblocks:calendarnow:nameMismatch    library file renamed
%
%   Example
%     sizes = calendarnow([], [], [], 0, 1);   % sizes(8) = 1,
%                                              % sizes(4) = 0 input ports
%     In a model, selector 1 outputs the year, such as 2026; selector 2.9
%     the month.
%
%   See also CLOCKNOW, WAIT, WALLPULSE.
