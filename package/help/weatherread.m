%WEATHERREAD Read a weather file in the EnergyPlus weather format (EPW).
%   w = weatherread(file)
%   reads the weather file into a structure of column vectors, one row per
%   record of the file. It is the model runner's own reader: a file simrun
%   accepts gives the same numbers here, and a bad file is refused with the
%   message simrun gives (naming the file, the line and what is wrong).
%
%   Argument
%     file   the file's name, a text
%
%   Fields of w
%     time            seconds of year at the end of each record (row hour h
%                     of a day covers h-1 to h o'clock, local standard
%                     time): where simrun places the instantaneous fields
%     interval_time   half a record earlier, the middle of each record:
%                     where simrun places the interval fields, amounts
%                     received over the record (the radiation and
%                     illuminance fields); for an hourly file, time - 1800
%     dry_bulb_temperature, dew_point_temperature (degC),
%     relative_humidity (%), atmospheric_station_pressure (Pa),
%     extraterrestrial_horizontal_radiation,
%     extraterrestrial_direct_normal_radiation,
%     horizontal_infrared_radiation_intensity, global_horizontal_radiation,
%     direct_normal_radiation, diffuse_horizontal_radiation (Wh/m2 over
%     the record: over an hour, the mean irradiance in W/m2),
%     global_horizontal_illuminance, direct_normal_illuminance,
%     diffuse_horizontal_illuminance (lux), zenith_luminance (Cd/m2),
%     wind_direction (degrees, N = 0, E = 90), wind_speed (m/s),
%     total_sky_cover, opaque_sky_cover (tenths, 0 to 10, as in the
%     file: not what atmoglow takes), visibility (km),
%     ceiling_height (m), present_weather_observation,
%     present_weather_codes, precipitable_water (mm), aerosol_optical_depth
%     (thousandths), snow_depth (cm), days_since_last_snowfall (days),
%     albedo, liquid_precipitation_depth (mm), liquid_precipitation_quantity
%     (h)
%                     one column each, in the file's units; a value at or
%                     above the field's missing-value code is NaN (simrun
%                     fills such gaps linearly in time when a model uses
%                     the field)
%     total_sky_fraction, opaque_sky_fraction
%                     the two sky covers as fractions from 0 (clear) to 1
%                     (overcast): tenths / 10, NaN where the file's cover
%                     is missing (99). atmoglow's cloud cover N is
%                     total_sky_fraction.
%     units           the unit of each field, a text per field ('fraction'
%                     for the two fractions)
%     site            the LOCATION line: name, region, country, source and
%                     wmo (texts); latitude (degrees, north positive),
%                     longitude and longitude_timezone (degrees, west
%                     positive: the conventions of heliopose and the
%                     blocks, the file's longitude and -15 times its time
%                     zone), time_zone (hours, east positive, as in the
%                     file), elevation (m)
%   A file with rows for 29 February counts a year of 366 days in time.
%
%   Errors and their identifiers
%     simblocks:weatherread:wrongInputCount   not 1 argument
%     simblocks:weatherread:wrongOutputCount  more than 1 output
%     simblocks:weatherread:notText           file is not a text (or holds
%                                             a zero character)
%     simblocks:weatherread:cannotOpen        no such file, not allowed, a
%                                             folder, a pipe or a device
%     simblocks:weatherread:badFile           the file breaks the format:
%                                             the message names the line
%     simblocks:weatherread:memory            out of memory
%
%   weatherread is a plain MEX function for Octave and MATLAB, tested in Octave
%   and on the toolbox's embedded host.
%
%   Example
%     w = weatherread('examples/data/weather/USA_IL_Chicago-OHare.725300_TMY3.epw');
%     s = w.site;                                  % latitude 41.98, longitude 87.92
%     [~, ~, zen, az, ~] = heliopose(w.interval_time, s.latitude, s.longitude, s.longitude_timezone);
%     poa = tiltflux('perez', 90, 0, zen, az, w.direct_normal_radiation, ...
%                    w.diffuse_horizontal_radiation, w.global_horizontal_radiation, ...
%                    heliokit(w.interval_time, 0, 0, 0, 1), 0.2);
%     sum(poa) / 1000                              % kWh/m2 on a south facade in a year
%     % The same by field name (help tiltflux): tiltflux('perez', 90, 0, zen, az, w, ...)
%     % A year of sky temperatures: atmoglow wants the cover as a fraction.
%     N = w.total_sky_fraction;
%     sky = simblock('atmoglow', {1}, w.time, [w.dry_bulb_temperature w.relative_humidity N]);
%
%   See also TILTFLUX, HELIOPOSE, SIMRUN.
