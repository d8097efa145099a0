%TOPFLUX Extraterrestrial solar irradiance for the time on the input (block).
%   The topflux block outputs the solar irradiance outside the atmosphere,
%   on a plane normal to the sun's rays, in W/m2, for the time that arrives
%   on its input.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). No dialog parameters. It is a Level-2
%   S-function; its use as an S-Function block in a Simulink model
%   (S-function name topflux) is not tested.
%
%   Input port 1, width 1    time t, seconds of year
%   Output port 1, width 1   extraterrestrial irradiance, W/m2
%   Parameters               none
%   Sample time              inherited; no states, no work vectors
%
%   Output = 1367 * (1.00011 + 0.034221 cos(w) + 0.00128 sin(w)
%                    + 0.000719 cos(2w) + 0.000077 sin(2w))
%   with the solar constant 1367 W/m2 and the year angle w = 2*pi*t/31536000
%   (365-day year, t used as it comes). Over the year the output stays
%   between about 1321.3 and 1415.0 W/m2. The block reports no errors of its
%   own.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:topflux:tooFewInputs    fewer than 4 arguments
%     simblocks:topflux:tooManyOutputs  more than one output
%     simblocks:topflux:flagNotInteger  FLAG not an integer scalar
%     simblocks:topflux:invalidFlag     FLAG other than 0
%     simblocks:topflux:nameMismatch    library file renamed
%
%   Example
%     sizes = topflux([], [], [], 0);   % sizes(4) = 1, sizes(3) = 1
%     In a model:  t = 0 (1 January)          ->  1414.91335 W/m2
%                  t = 15897600 (4 July)      ->  1321.33 W/m2
%
%   See also HELIOLEAN, HELIOHOUR, HELIOKIT, SLOPEGAIN.
