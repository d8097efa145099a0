%SLOPEGAIN Radiation ratios of tilted to horizontal planes.
%   G = slopegain(month, latitude, longitude, longitude_timezone, ...
%                 clearness_index, sky_model, ground_reflectance)
%   tabulates how much solar radiation tilted planes receive compared with
%   the horizontal, at one site and sky clearness, for 37 slopes by 37
%   orientations.
%
%   Arguments (real, non-empty doubles; only the first element is read)
%     month                below 1: the whole year; otherwise the month
%                          number, truncated toward zero (1 = January).
%                          Months after 12 run on into the following year
%                          (13 is next January), up to 815; NaN gives
%                          a table of zeros
%     latitude             degrees, north positive
%     longitude            degrees, west positive
%     longitude_timezone   longitude of the time zone's meridian, degrees,
%                          west positive
%     clearness_index      ratio of global to extraterrestrial irradiance
%                          on the horizontal, used for every hour
%     sky_model            accepted; it does not change the table
%     ground_reflectance   reflectance of the ground in front of the plane
%
%   Output: G, 37-by-37. Row i is the slope 2.5*(i-1) degrees (0 horizontal
%   to 90 vertical), column j the orientation -5*(j-1) degrees (0 facing
%   south, -90 east, -180 north). G(i,j) is the mean, over the sampled
%   hours with the sun up, of the ratio of the irradiance on the plane to
%   the global irradiance on the horizontal, each hour weighted by the
%   extraterrestrial irradiance on the horizontal; 0 when no sampled hour
%   has the sun up. Sampled hours: days 1 to 28 of each month, hours 1 to
%   23, on a 365-day year.
%
%   Hourly ratio, for a plane of slope b: with k = clearness_index, the
%   diffuse share of the global irradiance is f = 1 - 0.2k (k <= 0.3),
%   1.423 - 1.612k (k <= 0.79), 0.15 (above); then
%     ratio = f (1 + cos b)/2 + (1 - f) Rb + ground_reflectance (1 - cos b)/2
%   with Rb the ratio of the beam on the plane to the beam on the horizontal
%   (negative when the sun is behind the plane; 0 when the sun's zenith
%   cosine is below 1e-5). A negative ratio counts as 0. The sky is thus
%   isotropic and sky_model has no effect. With k > 0 the first row is 1,
%   up to rounding.
%
%   Before each row its slope is printed as "slope 0" to "slope 90" with a
%   degree sign (37 lines; the sign is the byte 0xB0 on Windows, UTF-8
%   elsewhere).
%
%   Problems are printed, not raised; the call then returns no output (so
%   G = slopegain(...) ends in an error about the unassigned output):
%     error: not 7 arguments
%     error: argument K is not a non-empty real double
%     error: month out of range (at most 815)
%
%   slopegain is a plain MEX function for Octave and MATLAB, tested in Octave
%   and on the toolbox's embedded host.
%
%   Example
%     G = slopegain(6, 50, -10, -15, 0.5, 1, 0.2);  % June, 50 N, 10 E
%     G(1, 1)                  % horizontal: 1
%     G(13, 1)                 % 30 degrees facing south: 0.942
%     [best, j] = max(G(13, :))    % best orientation -5*(j-1) degrees
%
%   See also HELIOPOSE, HELIOKIT, TOPFLUX.
