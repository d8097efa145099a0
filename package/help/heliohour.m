%HELIOHOUR Apparent solar time for the time on the input (block).
%   The heliohour block outputs the apparent solar time, in seconds, for the
%   time that arrives on its input, at a site given by two longitudes.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). Dialog parameters: the two longitudes
%   below, such as -15, -10. It is a Level-2 S-function; its use as an
%   S-Function block in a Simulink model (S-function name heliohour) is not
%   tested.
%
%   Parameter 1              longitude of the time zone's meridian, degrees
%   Parameter 2              longitude of the site, degrees
%   Input port 1, width 1    time t, seconds of year
%   Output port 1, width 1   apparent solar time, seconds
%   Sample time              inherited; no states, no work vectors
%
%   Longitudes count positive toward the west, as in heliopose: a site at
%   10 degrees east in the zone of 15 degrees east has parameter 1 = -15
%   and parameter 2 = -10, and its solar time runs 1200 s behind the clock
%   (apart from the equation of time).
%
%   Output = time of day of t + equation of time at t
%            + 240 * (parameter 1 - parameter 2)
%   The time of day is t minus its whole days, counted toward zero (so
%   t = -3600 has the time of day -3600 s). The result is not wrapped into
%   one day: near midnight it may fall below 0 or exceed 86400. The equation
%   of time is 13752 s times
%     0.000075 + 0.001868 cos(w) - 0.032077 sin(w) - 0.014615 cos(2w)
%       - 0.04089 sin(2w),   with w = 2*pi*t/31536000 (365-day year).
%   Both parameters are read afresh at every step, so a change takes effect
%   at the next one.
%
%   Error: a parameter that is empty or not a real double stops the
%   simulation with "heliohour: each dialog parameter must be a non-empty
%   real double (a longitude in degrees)".
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:heliohour:tooFewInputs    fewer than 4 arguments
%     simblocks:heliohour:tooManyOutputs  more than one output
%     simblocks:heliohour:flagNotInteger  FLAG not an integer scalar
%     simblocks:heliohour:invalidFlag     FLAG other than 0
%     simblocks:heliohour:nameMismatch    library file renamed
%
%   Example
%     sizes = heliohour([], [], [], 0, -15, -10);   % sizes(8) = 2
%     In a model, t = 0 with parameters 15 and 10 (a site 5 degrees east
%     of its zone meridian) gives 1025.734656 s: -174.265344 s of equation
%     of time on 1 January plus 240 * 5 s.
%
%   See also HELIOLEAN, TOPFLUX, HELIOPOSE, HELIOKIT.
