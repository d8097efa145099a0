%HELIOKIT Irradiance, declination or solar time over a vector, by a mode.
%   y = heliokit(time, unused, longitude, longitude_timezone, mode)
%   evaluates one solar quantity, chosen by mode, for every element of the
%   one vector input.
%
%   Arguments (real, non-empty double arrays)
%     time                 seconds of year
%     unused               enters no formula (only the shape rules below)
%     longitude            longitude of the site, degrees, west positive
%     longitude_timezone   longitude of the time zone's meridian, degrees,
%                          west positive; only its first element is read
%     mode                 only its first element is read, rounded half up
%                          (mode + 0.5 truncated toward zero):
%       1   extraterrestrial irradiance at time, W/m2
%       2   solar declination at time, degrees
%       3   apparent solar time, seconds: time of day of time + equation of
%           time + 240 * (longitude_timezone - longitude), not wrapped into
%           one day
%       any other mode gives zeros
%
%   Shapes: at most one of time, unused and longitude may hold more than
%   one element, and it must be a row or column vector; y has its shape, or
%   is 1-by-1 when all three are scalars. The other inputs contribute their
%   first element to every element of y. When unused is the vector input it
%   only gives y its shape: every element holds the all-scalar result.
%
%   Errors and their identifiers
%     ERROR in heliokit: 5 inputs required.
%         simblocks:heliokit:wrongInputCount
%     ERROR in heliokit: input must be a number
%         (an input that is not numeric, not double, empty or complex)
%         simblocks:heliokit:notANumber
%     ERROR in heliokit: only one input can be a vector
%         simblocks:heliokit:tooManyVectors
%
%   heliokit is a plain MEX function for Octave and MATLAB, tested in Octave
%   and on the toolbox's embedded host.
%
%   Example
%     heliokit(0, 0, 10, 15, 1)              % 1414.91335 W/m2
%     heliokit(0, 0, 10, 15, 2)              % -23.0576 degrees
%     heliokit(0, 0, 10, 15, 3)              % 1025.734656 s
%     d = heliokit((0:364)*86400, 0, 0, 0, 2);   % 1-by-365 declinations
%     s = heliokit(43200, 0, -30:5:30, 0, 3);    % 1-by-13 solar times
%
%   See also HELIOPOSE, SLOPEGAIN, HELIOLEAN, HELIOHOUR, TOPFLUX.
