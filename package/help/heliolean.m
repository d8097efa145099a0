%HELIOLEAN Solar declination for the time on the input (block).
%   The heliolean block outputs the declination of the sun, in degrees, for
%   the time that arrives on its input.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). No dialog parameters. It is a Level-2
%   S-function; its use as an S-Function block in a Simulink model
%   (S-function name heliolean) is not tested.
%
%   Input port 1, width 1    time t, seconds of year
%   Output port 1, width 1   solar declination, degrees
%   Parameters               none
%   Sample time              inherited; no states, no work vectors
%
%   The declination is a Fourier series in the year angle
%   w = 2*pi*t/31536000, one turn in a year of 365 days:
%     0.006918 - 0.399912 cos(w) + 0.070257 sin(w) - 0.006758 cos(2w)
%       + 0.000907 sin(2w) - 0.002679 cos(3w) + 0.00148 sin(3w)   radians
%   There is no leap-year handling and t is used as it comes: t and
%   t + 31536000 give the same value, day 366 of a leap year counts as
%   1 January, a negative t is allowed. Nothing is clamped; the block
%   reports no errors of its own.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:heliolean:tooFewInputs    fewer than 4 arguments
%     simblocks:heliolean:tooManyOutputs  more than one output
%     simblocks:heliolean:flagNotInteger  FLAG not an integer scalar
%     simblocks:heliolean:invalidFlag     FLAG other than 0
%     simblocks:heliolean:nameMismatch    library file renamed
%
%   Example
%     sizes = heliolean([], [], [], 0);   % sizes(4) = 1 input port,
%                                         % sizes(3) = 1 output port
%     In a model:  t = 0 (1 January 00:00)  ->  -23.0576 degrees
%                  t = 14860800 (22 June)   ->   23.4547 degrees
%
%   See also HELIOHOUR, TOPFLUX, HELIOPOSE, HELIOKIT.
