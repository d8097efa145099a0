%ATMOGLOW Effective sky temperature from weather signals (block).
%   The atmoglow block outputs the sky temperature: the temperature of a
%   black body that sends the same long-wave radiation as the sky. Models
%   use it for the long-wave exchange of roofs, facades and collectors.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). Dialog parameter: the switch below,
%   such as 0. It is a Level-2 S-function; its use as an S-Function block in
%   a Simulink model (S-function name atmoglow) is not tested.
%
%   Parameter 1              daily correction switch: above 0 adds a
%                            day/night term to the clear-sky emissivity;
%                            0, negative or NaN leaves it out
%   Input port 1, width 3    [T RH N]: air temperature T, degrees Celsius;
%                            relative humidity RH, percent (0 to 100);
%                            cloud cover N, 0 clear to 1 overcast: a
%                            fraction, not the tenths of a weather file
%                            (weatherread's total_sky_fraction; in a
%                            model, the epw field total_sky_cover with
%                            "scale": 0.1)
%   Output port 1, width 1   sky temperature, degrees Celsius
%   Sample time              continuous; no states, no work vectors
%
%   With RH > 0: the dew point Td follows from T and RH by the Magnus
%   formula (over water for T >= 0, over ice below); the clear-sky
%   emissivity is e = 0.711 + 0.0056 Td + 0.000073 Td^2, plus, with the
%   switch on, 0.013 cos(2*pi*tod/86400), tod the time of day of the
%   simulation time (+0.013 at midnight, -0.013 at noon); unless N < 0.0001
%   clouds add (1 - e) N exp(-1/8.2). The sky radiation is e (T + 273.15)^4.
%   With RH <= 0 (or NaN): the sky radiation is
%   1.2 (T + 273.15)^4 - 150/5.6697e-8 for a clear sky, else
%   (1.2 - 0.18 N) (T + 273.15)^4 - (1 - 0.9 N) 150/5.6697e-8; the switch
%   and the time are not used.
%   Output = fourth root of the sky radiation - 273.15.
%
%   Nothing is clamped: RH above 100 gives a dew point above T; with
%   RH <= 0 air colder than about -56.5 degrees Celsius (clear sky) gives
%   NaN; NaN in T or N shows on the output. The block reports no errors of
%   its own.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:atmoglow:tooFewInputs    fewer than 4 arguments
%     simblocks:atmoglow:tooManyOutputs  more than one output
%     simblocks:atmoglow:flagNotInteger  FLAG not an integer scalar
%     simblocks:atmoglow:invalidFlag     FLAG other than 0
%     simblocks:atmoglow:nameMismatch    library file renamed
%
%   Example
%     sizes = atmoglow([], [], [], 0, 0);   % sizes(8) = 1, sizes(4) = 1
%     In a model, switch 0:  [20 50 0]  ->  about 1.389 degrees Celsius
%                            [20  0 0]  ->  about 7.64 degrees Celsius
%     % A year of sky temperatures from a weather file:
%     w = weatherread('examples/data/weather/USA_IL_Chicago-OHare.725300_TMY3.epw');
%     sky = simblock('atmoglow', {1}, w.time, ...
%                    [w.dry_bulb_temperature w.relative_humidity w.total_sky_fraction]);
%
%   See also SASHFLOW, PUMP, DEGREESWAP.
