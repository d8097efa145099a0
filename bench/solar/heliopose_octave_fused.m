% heliopose_octave fused by hand: the sines and cosines of the year angle are
% evaluated once and shared by the declination and the equation of time, as
% heliopose itself does. Same results as heliopose_octave.
function [Declination, Altitude, Zenith, Azimut, HourAngle] = heliopose_octave_fused(time, latitude, longitude, longitude_timezone)
  t = time(:);
  w = t * 1.992384990861107e-7;
  c1 = cos(w); s1 = sin(w); c2 = cos(2 * w); s2 = sin(2 * w);
  delta = 0.006918 - 0.399912 * c1 + 0.070257 * s1 - 0.006758 * c2 + 0.000907 * s2 ...
          - 0.002679 * cos(3 * w) + 0.00148 * sin(3 * w);
  E = 13752 * (0.000075 + 0.001868 * c1 - 0.032077 * s1 - 0.014615 * c2 - 0.04089 * s2);
  time_of_day = t - 86400 * fix(t / 86400);
  S = E + 240 * (longitude_timezone - longitude) + time_of_day;
  omega = (S - 43200) * 7.27220521664304e-5;
  phi = latitude * 0.017453292519943;
  sin_delta = sin(delta);
  cz = cos(omega) .* (cos(delta) * cos(phi)) + sin(phi) * sin_delta;
  cz(abs(cz) > 1) = NaN;
  zenith = acos(cz);
  q = cos(phi) * sin(zenith);
  arg = (sin(phi) * cz - sin_delta) ./ q;
  arg(abs(arg) > 1) = NaN;
  azimuth = acos(arg);
  azimuth(omega < 0) = -azimuth(omega < 0);
  azimuth(~(abs(q) > 2.220446049250313e-16)) = 0;
  Declination = delta * 57.29577951308232;
  Zenith = zenith * 57.29577951308232;
  Altitude = 90 - Zenith;
  Azimut = azimuth * 57.29577951308232;
  HourAngle = omega * 57.29577951308232;
end
