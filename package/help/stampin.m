%STAMPIN Calendar date and time of day to seconds of year (block).
%   The stampin block converts a date and time of day into seconds of year:
%   the seconds from 1 January 00:00:00 of the given year to the given
%   moment, counting 29 February in leap years.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). No dialog parameters. It is a Level-2
%   S-function; its use as an S-Function block in a Simulink model
%   (S-function name stampin) is not tested.
%
%   Input port 1, width 6    [year month day hour minute second]
%   Output port 1, width 1   seconds of year
%   Parameters               none
%   Sample time              continuous; no states, no work vectors
%
%   seconds = (((B + day - 1)*24 + hour)*60 + minute)*60 + second
%   with B the days of the months before the given one. Leap years are the
%   years divisible by 4 (no century rule: 1900 and 2100 are leap years);
%   the year is rounded half up and serves only this test. Months 1, 2, ...
%   are summed while they are below the month input, so month 2.5 sums
%   like month 3 and a month of 1 or less, or NaN, sums nothing. Day, hour,
%   minute and second are used as they come, fractions kept, and no range
%   is checked: day 0 is the last day of the month before, hour 24 the next
%   day, month 13 day 1 is 1 January of the next year. The block reports no
%   errors of its own.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:stampin:tooFewInputs    fewer than 4 arguments
%     simblocks:stampin:tooManyOutputs  more than one output
%     simblocks:stampin:flagNotInteger  FLAG not an integer scalar
%     simblocks:stampin:invalidFlag     FLAG other than 0
%     simblocks:stampin:nameMismatch    library file renamed
%
%   Example
%     sizes = stampin([], [], [], 0);   % sizes(4) = 1, sizes(3) = 1
%     In a model:  [2023  3  1  0  0  0]  ->   5097600
%                  [2024  3  1  0  0  0]  ->   5184000
%                  [2024 12 31 23 59 59]  ->  31622399
%                  [2023  1  1.5 0 0  0]  ->     43200
%
%   See also STAMPOUT, YEARELAPSED, CLOCKNOW.
