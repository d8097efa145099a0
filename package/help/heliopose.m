%HELIOPOSE Position of the sun for a series of times at one site.
%   [Declination, Altitude, Zenith, Azimut, HourAngle] = ...
%       heliopose(time, latitude, longitude, longitude_timezone)
%   returns the sun's declination, altitude, zenith angle, azimuth and hour
%   angle, all in degrees, for every element of time.
%
%   Arguments (real double arrays)
%     time                 seconds of year; a scalar, row or column vector
%     latitude             degrees, north positive; one element
%     longitude            degrees, west positive; one element
%     longitude_timezone   longitude of the time zone's meridian, degrees,
%                          west positive; one element
%   A site at 10 degrees east in the zone of 15 degrees east has
%   longitude = -10 and longitude_timezone = -15: the apparent solar time
%   is the clock time plus the equation of time plus
%   240 s * (longitude_timezone - longitude).
%
%   Outputs: five column vectors with one row per element of time (also for
%   a row vector time; 0-by-1 for an empty time)
%     Declination   solar declination
%     Altitude      90 - Zenith
%     Zenith        zenith angle of the sun, 0 to 180
%     Azimut        azimuth of the sun: 0 due south at solar noon, negative
%                   before it (toward east), positive after it (west)
%     HourAngle     0 at solar noon, 15 degrees per hour, negative before
%                   noon; not wrapped into -180..180 near midnight
%   The year has 365 days (no leap years). No angle is wrapped or clamped:
%   where rounding carries an arc-cosine argument past +-1 (at solar noon,
%   for instance) the zenith, altitude or azimuth of that row is NaN. With
%   the sun exactly in the zenith the azimuth is 0.
%
%   Errors and their identifiers (the usage line is printed before the
%   first two)
%     Need 4 input arguments            simblocks:heliopose:wrongInputCount
%     Need 5 output arguments           simblocks:heliopose:wrongOutputCount
%     time must be scalar or vector, not a matrix
%                                       simblocks:heliopose:timeIsMatrix
%     inputs exept time must be scalar  simblocks:heliopose:siteNotScalar
%     inputs must be real double arrays simblocks:heliopose:notRealDouble
%
%   heliopose is a plain MEX function for Octave and MATLAB, tested in Octave
%   and on the toolbox's embedded host.
%
%   Example
%     t = 172*86400 + (0:23)*3600;        % 22 June, every hour
%     [dec, alt, zen, az, ha] = heliopose(t, 50, -10, -15);
%     alt(13)                             % 63.12 degrees at 12:00
%     [dec, alt] = heliopose(0, 50, 10, 15);   % error: 5 outputs needed
%
%   See also HELIOKIT, SLOPEGAIN, HELIOLEAN, HELIOHOUR.
