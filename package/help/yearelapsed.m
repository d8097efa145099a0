%YEARELAPSED Time elapsed since 1 January in six units (block).
%   The yearelapsed block takes a date and time of day and outputs the time
%   elapsed since 1 January 00:00:00 of that year in years, months, days,
%   hours, minutes and seconds at once.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). No dialog parameters. It is a Level-2
%   S-function; its use as an S-Function block in a Simulink model
%   (S-function name yearelapsed) is not tested.
%
%   Input port 1, width 6    [year month day hour minute second]
%   Output port 1, width 6   [years months days hours minutes seconds]
%   Parameters               none
%   Sample time              continuous; no states, no work vectors
%
%   seconds E = (((B + day - 1)*24 + hour)*60 + minute)*60 + second, with B
%   the days of the months before the month (rounded half up); minutes
%   E/60, hours E/3600, days E/86400. Years: E/31622400 in a leap year,
%   else E/31536000. Months: (month - 1) plus the part of the given month
%   that has passed, so every month counts as one unit whatever its length.
%   Leap years are the years divisible by 4 (no century rule); the year is
%   rounded half up. No range is checked: out-of-range days, hours, minutes
%   and seconds enter the formulas as they come. (For a negative year not
%   divisible by 4, February has 28 days but the year output divides by
%   31622400.) The block reports no errors of its own.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:yearelapsed:tooFewInputs    fewer than 4 arguments
%     simblocks:yearelapsed:tooManyOutputs  more than one output
%     simblocks:yearelapsed:flagNotInteger  FLAG not an integer scalar
%     simblocks:yearelapsed:invalidFlag     FLAG other than 0
%     simblocks:yearelapsed:nameMismatch    library file renamed
%
%   Example
%     sizes = yearelapsed([], [], [], 0);   % sizes(3) = 1, sizes(4) = 1
%     In a model:
%       [2023 7 2 12 0 0]   ->  [0.5 6.0484 182.5 4380 262800 15768000]
%       [2024 2 15 12 0 0]  ->  months 1.5 (14.5 of 29 days)
%       [2023 12 31 24 0 0] ->  [1 12 365 8760 525600 31536000]
%
%   See also STAMPIN, STAMPOUT.
