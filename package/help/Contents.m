% simblocks  Simulation blocks for buildings, weather and solar energy.
% Version 0.1.0
%
% Units, unless a help text says otherwise: angles in degrees; times in
% seconds, simulation time and time inputs in seconds of year (seconds since
% 1 January 00:00 of the current year); radiation in W/m2; temperatures in
% degrees Celsius.
%
% Running models and blocks from scripts
%   simrun      - Runs a model (a model file or a struct) and returns its
%                 signals as arrays.
%   simblock    - Runs one block over a series of times and inputs.
%   stdblocks   - The standard blocks of models (gain, sum, product,
%                 expression, lookup, saturation, switch, relay, integrator,
%                 statespace, transfer, delay), the solver and loops.
%
% Solar geometry and radiation
%   heliolean   - Block: solar declination for a time.
%   heliohour   - Block: apparent solar time for a time at a site.
%   topflux     - Block: extraterrestrial solar irradiance for a time.
%   heliopose   - Sun declination, altitude, zenith, azimuth and hour angle
%                 for a series of times at one site.
%   heliokit    - Irradiance, declination or solar time over a vector,
%                 chosen by a mode.
%   slopegain   - Table of radiation ratios of tilted to horizontal planes,
%                 37 slopes by 37 orientations, for a month at a site.
%   tiltflux    - Irradiance on a tilted plane from the sun's position and
%                 the global, direct and diffuse irradiance, by a sky model.
%   planeflux   - Block: irradiance on a tilted plane at a site for the time
%                 and weather on its inputs.
%
% Weather and building components
%   atmoglow    - Block: effective sky temperature from air temperature,
%                 relative humidity and cloud cover.
%   sashflow    - Block: airflow through a tilted window driven by the
%                 temperature difference across it.
%   pump        - Block: operating flow where two quadratic curves meet.
%   weatherread - A weather file (EPW) as a structure of columns, with its
%                 site.
%
% Time and calendar
%   stampin     - Block: calendar date and time of day to seconds of year.
%   stampout    - Block: seconds of year to month, day, hour, minute, second.
%   yearelapsed - Block: time since 1 January in years, months, days, hours,
%                 minutes and seconds.
%   calendarnow - Block: one field of the local date and time.
%   clocknow    - Block: the local clock as seconds of year.
%   wait        - Block: paces a simulation against the wall clock.
%   wallpulse   - Block: one-shot pulse timed by the wall clock.
%
% Signal utilities and output
%   degreeswap  - Block: temperature conversion between Celsius, kelvin and
%                 Fahrenheit.
%   printer     - Block: prints its input and the time in the command window.
%   tablogger   - Block: appends triggered samples of its input to a text
%                 file.
%
% Folder listing
%   folderscan  - Folder listing, with patterns and recursion, as a
%                 structure array.
%
% Blocks
%   The blocks are Level-2 S-functions, built against the toolbox's own
%   block record and frame. They run on its engine: in a model with simrun,
%   alone with simblock (Octave and MATLAB), and with the command-line
%   runner on the embedded host; they are tested in Octave and on that
%   host. Their use as S-Function blocks inside a Simulink model is not
%   tested. Dialog parameters come in the order each block's help gives
%   them. The six functions are plain MEX functions for Octave and MATLAB,
%   tested in Octave and on the embedded host. Called at the command line,
%       sizes = name([], [], [], 0, p1, p2, ...)
%   a block declares itself with the parameters p1, p2, ... and returns its
%   38-by-1 sizes vector:
%       sizes(1)  continuous states     sizes(2)  discrete states
%       sizes(3)  output ports          sizes(4)  input ports
%       sizes(7)  sample times          sizes(8)  dialog parameters expected
%       sizes(9)  integer work width    sizes(10) real work width
%       sizes(11) pointer work width    sizes(20) version tag, 5200229
%       sizes(21) zero crossings        sizes(23) modes
%       sizes(24) options word, at least 8192
%   Given another number of parameters than it expects, a block declares
%   only sizes(8), beside the version tag and the 8192 of the options word.
%   The command-line call raises these errors (NAME is the block's name),
%   each with its identifier:
%       MEX level2 S-function "NAME" must be called with at least 4 right
%         hand arguments                          simblocks:NAME:tooFewInputs
%       MEX level2 S-function "NAME" called with too many left hand
%         arguments                               simblocks:NAME:tooManyOutputs
%       The 4th right hand argument, FLAG, passed to MEX level2 S-function
%         "NAME" must be an integer               simblocks:NAME:flagNotInteger
%       Invalid flag passed to MEX level2 S-function "NAME"
%                                                 simblocks:NAME:invalidFlag
%   (the flag, the fourth argument, must be 0). The sizes call of a model
%   whose block name differs from the library's raises "S-function name
%   mismatch. ..." with simblocks:NAME:nameMismatch. Errors of a running
%   simulation stop it with their message; they carry no identifier.
%   In a script, err.identifier tells the errors apart:
%       try, heliopose(0), catch err, disp(err.identifier), end
%
% Examples
%   The examples folder next to this file holds example models, data and
%   scripts (annual_irradiation: the sun on a building over a year).
