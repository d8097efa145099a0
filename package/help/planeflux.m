%PLANEFLUX Solar irradiance on a tilted plane at a site (block).
%   The planeflux block turns the irradiance of a weather file into the
%   irradiance on a plane (a facade, a roof, a collector) at the time on
%   its input, by one of tiltflux's sky models.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). It is a Level-2 S-function with the
%   parameters tilt, azimuth, latitude, longitude, longitude_timezone,
%   albedo and model; its use as an S-Function block in a Simulink model
%   (S-function name planeflux) is not tested.
%
%   Input port 1, width 1    time t, seconds of year
%   Input port 2, width 3    [ghi dni dhi]: global horizontal, direct
%                            normal and diffuse horizontal irradiance, W/m2
%   Output port 1, width 1   the total irradiance on the plane, W/m2
%   Output port 2, width 3   its parts [beam sky ground], W/m2
%   Parameters
%     1 tilt                 of the plane from the horizontal, degrees (0
%                            faces up, 90 vertical, 180 faces down)
%     2 azimuth              of the plane's normal, degrees from south,
%                            negative toward east (-90 east, 180 north)
%     3 latitude             of the site, degrees, north positive
%     4 longitude            of the site, degrees, west positive
%     5 longitude_timezone   of the time zone's meridian, degrees, west
%                            positive
%     6 albedo               reflectance of the ground, 0 to 1
%     7 model                the sky model, a text: 'isotropic',
%                            'haydavies', 'perez', 'reindl' or 'klucher'
%                            (help tiltflux gives the formulas)
%   Sample time              inherited; no states; a real work vector of
%                            8 (the closure check below)
%
%   The sun's zenith angle and azimuth at t come from the toolbox's own
%   solar formulas (those of heliopose: a 365-day year, declination and
%   equation of time from short series), which are simpler than a
%   high-precision solar position algorithm; dni_extra is topflux's
%   extraterrestrial irradiance at t. The outputs equal, in a script,
%     [~, ~, zen, az, ~] = heliopose(t, latitude, longitude, longitude_timezone);
%     g0 = heliokit(t, 0, 0, 0, 1);      % topflux's irradiance at the times t
%     tiltflux(model, tilt, azimuth, zen, az, dni, dhi, ghi, g0, albedo)
%   at the same times, bit for bit, except within a hair of solar noon
%   (topflux is a block: simblock('topflux', {}, t, t) gives the same
%   numbers; it cannot be called as topflux(t)).
%   There heliopose's azimuth, an arc cosine whose argument reaches +1 (or
%   -1 where the sun culminates north of the zenith), is NaN wherever
%   rounding carries the argument past it, a few microseconds either side
%   of noon. Within 1e-6 rad (0.2 arc seconds) of the meridian planeflux
%   takes the azimuth as
%     atan2(cos(decl) sin(omega), sin(lat) cos(decl) cos(omega) - cos(lat) sin(decl))
%   (omega the hour angle), the same angle in a form defined there: 0, due
%   south, at the noon instant (180, due north, where the sun culminates
%   north), so the irradiance stays finite. The two forms differ there by
%   less than 1e-7 degrees.
%
%   The closure check: when the rows on input 2 fail
%   ghi = dni cos(zenith) + dhi in most rows with the sun up (help
%   tiltflux), once 24 such rows have come, the block warns once per run,
%   simblocks:tiltflux:closure, naming the order the values fit: the sign
%   of an input wired in another order than [ghi dni dhi]. Its outputs
%   stay those computed.
%
%   The irradiance of an hourly weather file is the mean over each hour;
%   it stands for the middle of its hour, and that is how the model runner
%   reads it (an epw source gives the radiation fields at the middle of
%   their record and interpolates between): at the time t on the input the
%   block takes the sun at t, so sun and weather meet at the same instant.
%   In a model file the site can come from the weather file:
%   {"source": "weather", "site": "latitude"}, and likewise "longitude" and
%   "longitude_timezone".
%
%   The parameters are checked when the block declares itself and read
%   afresh at every step. Errors reported (the simulation stops with them):
%     planeflux: parameters 1 to 6 (tilt, azimuth, latitude, longitude,
%       longitude_timezone, albedo) must each be a non-empty real double
%     planeflux: parameter 7, the sky model, must be the text isotropic,
%       haydavies, perez, reindl or klucher
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:planeflux:tooFewInputs    fewer than 4 arguments
%     simblocks:planeflux:tooManyOutputs  more than one output
%     simblocks:planeflux:flagNotInteger  FLAG not an integer scalar
%     simblocks:planeflux:invalidFlag     FLAG other than 0
%     simblocks:planeflux:nameMismatch    library file renamed
%
%   Example
%     sizes = planeflux([], [], [], 0, 90, 0, 41.98, 87.92, 90, 0.2, 'perez');
%     % sizes(4) = 2 input ports, sizes(3) = 2 output ports
%     % A south facade at Chicago through a day, from a script:
%     t = 171*86400 + (0:3600:86400)';
%     w = [800 * max(sin(pi * (t/3600 - 171*24 - 5) / 15), 0), ...
%          600 * max(sin(pi * (t/3600 - 171*24 - 5) / 15), 0), ...
%          120 * max(sin(pi * (t/3600 - 171*24 - 5) / 15), 0)];
%     [total, parts] = simblock('planeflux', {90, 0, 41.98, 87.92, 90, 0.2, 'perez'}, t, {t, w});
%
%   See also TILTFLUX, HELIOPOSE, TOPFLUX, WEATHERREAD, SIMRUN, SIMBLOCK.
