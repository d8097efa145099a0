% The sun position of heliopose as vectorised Octave code: the solar formulas
% transcribed one function each (year angle, declination, equation of time,
% apparent solar time, sun position), same constants, same order, one array
% operation at a time. An arc-cosine argument past +-1 gives NaN (Octave's
% acos would give a complex number).
function [Declination, Altitude, Zenith, Azimut, HourAngle] = heliopose_octave(time, latitude, longitude, longitude_timezone)
  t = time(:);
  [zenith, azimuth, delta, omega] = locate_sun(t, latitude, longitude, longitude_timezone);
  Declination = delta * 57.29577951308232;
  Zenith = zenith * 57.29577951308232;
  Altitude = 90 - Zenith;
  Azimut = azimuth * 57.29577951308232;
  HourAngle = omega * 57.29577951308232;
end

function w = year_angle(t)
  w = t * 1.992384990861107e-7;
end

function d = declination(t)
  w = year_angle(t);
  d = 0.006918 - 0.399912 * cos(w) + 0.070257 * sin(w) - 0.006758 * cos(2 * w) + 0.000907 * sin(2 * w) ...
      - 0.002679 * cos(3 * w) + 0.00148 * sin(3 * w);
end

function E = equation_of_time(t)
  w = year_angle(t);
  E = 13752 * (0.000075 + 0.001868 * cos(w) - 0.032077 * sin(w) - 0.014615 * cos(2 * w) - 0.04089 * sin(2 * w));
end

function S = apparent_solar_seconds(t, a, b)
  time_of_day = t - 86400 * fix(t / 86400);
  S = equation_of_time(t) + 240 * (a - b) + time_of_day;
end

function [zenith, azimuth, delta, omega] = locate_sun(t, latitude, longitude, longitude_timezone)
  phi = latitude * 0.017453292519943;
  delta = declination(t);
  S = apparent_solar_seconds(t, longitude_timezone, longitude);
  omega = (S - 43200) * 7.27220521664304e-5;
  cz = cos(omega) .* (cos(delta) * cos(phi)) + sin(phi) * sin(delta);
  cz(abs(cz) > 1) = NaN;
  zenith = acos(cz);
  q = cos(phi) * sin(zenith);
  arg = (sin(phi) * cz - sin(delta)) ./ q;
  arg(abs(arg) > 1) = NaN;
  azimuth = acos(arg);
  azimuth(omega < 0) = -azimuth(omega < 0);
  azimuth(~(abs(q) > 2.220446049250313e-16)) = 0;
end
