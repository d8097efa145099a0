%STAMPOUT Seconds of year to month, day, hour, minute and second (block).
%   The stampout block converts a time in seconds of year into a calendar
%   date and time of day, on a calendar of 365 days (February always has 28
%   days; there is no year).
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). No dialog parameters. It is a Level-2
%   S-function; its use as an S-Function block in a Simulink model
%   (S-function name stampout) is not tested.
%
%   Input port 1, width 1    time t, seconds of year
%   Output port 1, width 5   [month day hour minute second]; the second
%                            keeps the fraction of t
%   Parameters               none
%   Sample time              continuous; no states, no work vectors
%
%   The day of the year is ceil(t/86400), so a moment exactly at midnight
%   shows as hour 24 of the day before: t = 86400 gives [1 1 24 0 0], and
%   t = 0 gives [1 0 24 0 0]. Times beyond 31536000 (365 days) continue as
%   month 13 with a growing day; times of 0 or less give month 1 with day 0
%   or below. Seconds of year that count 29 February (from stampin, in a
%   leap year) come back one day later from 1 March on. The block reports no
%   errors of its own.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:stampout:tooFewInputs    fewer than 4 arguments
%     simblocks:stampout:tooManyOutputs  more than one output
%     simblocks:stampout:flagNotInteger  FLAG not an integer scalar
%     simblocks:stampout:invalidFlag     FLAG other than 0
%     simblocks:stampout:nameMismatch    library file renamed
%
%   Example
%     sizes = stampout([], [], [], 0);   % sizes(3) = 1 output port
%     In a model:  t = 1         ->  [1  1  0  0  1]
%                  t = 3600.5    ->  [1  1  1  0  0.5]
%                  t = 5097601   ->  [3  1  0  0  1]
%                  t = 31536000  ->  [12 31 24 0  0]
%                  t = -1        ->  [1  0 23 59 59]
%
%   See also STAMPIN, YEARELAPSED.
