%TILTFLUX Solar irradiance on a tilted plane (transposition), row by row.
%   [poa, beam, sky, ground] = tiltflux(model, tilt, azimuth, sun_zenith, ...
%                                       sun_azimuth, dni, dhi, ghi, dni_extra, albedo)
%   [poa, beam, sky, ground] = tiltflux(model, tilt, azimuth, sun_zenith, ...
%                                       sun_azimuth, weather, dni_extra, albedo)
%   turns the irradiance of a weather file (direct normal, diffuse
%   horizontal, global horizontal) into the irradiance on a plane, by a sky
%   model, for every row at once.
%
%   Mind the order: tiltflux takes dni, dhi, ghi, while a weather file,
%   weatherread's fields and planeflux's input have ghi, dni, dhi. The
%   second form takes them by name, with no order to remember: weather is
%   a structure with fields dni, dhi and ghi, or weatherread's own names
%   (direct_normal_radiation, diffuse_horizontal_radiation,
%   global_horizontal_radiation), so weatherread's output goes in as it
%   is; other fields are ignored.
%
%   Arguments
%     model        the sky model, a text (any case):
%                    'isotropic'  the sky equally bright everywhere
%                    'haydavies'  Hay and Davies (1980): a circumsolar part
%                    'reindl'     Reindl et al. (1990): Hay and Davies with
%                                 a brighter horizon
%                    'klucher'    Klucher (1979)
%                    'perez'      Perez et al. (1990), all-sites composite
%                                 coefficients
%     tilt         of the plane from the horizontal, degrees: 0 faces up,
%                  90 is vertical, 180 faces down
%     azimuth      of the plane's normal, degrees from south, negative
%                  toward east (-90 faces east, 90 west, 180 north)
%     sun_zenith   zenith angle of the sun, degrees (heliopose's Zenith)
%     sun_azimuth  azimuth of the sun, degrees from south, negative toward
%                  east (heliopose's Azimut)
%     dni          direct normal irradiance, W/m2
%     dhi          diffuse horizontal irradiance, W/m2
%     ghi          global horizontal irradiance, W/m2
%     dni_extra    extraterrestrial irradiance normal to the sun's rays,
%                  W/m2 (topflux, or heliokit mode 1)
%     albedo       reflectance of the ground, 0 to 1
%   Every argument after model is a real double column or row vector, all
%   of one length N, or a scalar that stands for every row.
%
%   Outputs: N-by-1 columns in W/m2 (1-by-1 when every argument is a scalar)
%     poa      the total on the plane: beam + sky + ground
%     beam     the direct beam, max(dni cos(aoi), 0), with aoi the angle of
%              incidence of the sun's rays on the plane
%     sky      the diffuse light of the sky, by the model
%     ground   the light reflected by the ground, ghi albedo (1 - cosd(tilt))/2
%
%   With SVF = (1 + cosd(tilt))/2, A = max(cos(aoi), 0), AI = dni/dni_extra
%   and Rb = A / max(cosd(sun_zenith), 0.01745), the sky part is
%     isotropic   dhi SVF
%     haydavies   max(dhi (1 - AI) SVF, 0) + max(dhi AI Rb, 0)
%     reindl      dhi ((1 - AI) SVF (1 + sqrt(HB/ghi) sind(tilt/2)^3) + AI Rb),
%                 HB = max(dni cosd(sun_zenith), 0), HB/ghi = 0 where ghi = 0
%     klucher     dhi SVF (1 + F sind(tilt/2)^3) (1 + F A^2 sind(sun_zenith)^3),
%                 F = 1 - (dhi/ghi)^2, F = 0 where dhi = ghi = 0
%     perez       max(dhi ((1 - F1) SVF + F1 A / max(cosd(sun_zenith), cosd(85))
%                 + F2 sind(tilt)), 0), F1 and F2 from the clearness and
%                 brightness of the sky (relative air mass by Kasten and
%                 Young, 1989); 0 with the sun below the horizon
%                 (sun_zenith > 90)
%   Perez with dhi = dni = 0 and the sun up (a dark sky, whose clearness is
%   undefined) gives a sky part of 0, not NaN; the total is then the ground
%   part alone (0 where ghi is 0 too). A clearness below 1, which only
%   negative irradiances give, falls in no Perez bin: NaN.
%
%   The values are not checked: a NaN argument gives NaN in the rows (and
%   outputs) that need it, and nowhere else. Weather files give hourly
%   irradiance as the mean over the hour: take the sun's position at the
%   middle of the hour (weatherread's interval_time).
%
%   The closure check: the three irradiances of a row hold together,
%   ghi = dni cosd(sun_zenith) + dhi, within what measurement leaves. When
%   they fail it in most rows with the sun up (10 degrees or more above
%   the horizon, 50 W/m2 or more; failing: off by more than 25 W/m2 plus
%   15 percent), which is the sign of arguments in the wrong order,
%   tiltflux warns once per call, simblocks:tiltflux:closure, naming the
%   order they fit; the results are those computed. Night rows and rows
%   of NaN are not judged. To silence it on purpose:
%     warning('off', 'simblocks:tiltflux:closure')
%
%   Errors and their identifiers
%     simblocks:tiltflux:wrongInputCount   not 10 arguments (nor 8 with a
%                                          structure sixth)
%     simblocks:tiltflux:notScalarStruct   the weather structure is not 1-by-1
%     simblocks:tiltflux:missingField      it lacks dni, dhi or ghi (under
%                                          either name)
%     simblocks:tiltflux:wrongOutputCount  more than 4 outputs
%     simblocks:tiltflux:modelNotText      model is not a text
%     simblocks:tiltflux:unknownModel      model names no sky model
%     simblocks:tiltflux:notRealDouble     an argument after model is not a
%                                          real double array (integer,
%                                          single, logical, char, complex,
%                                          sparse, cell, struct)
%     simblocks:tiltflux:notVector         an argument is a matrix
%     simblocks:tiltflux:lengthMismatch    two vectors of different lengths
%
%   tiltflux is a plain MEX function for Octave and MATLAB, tested in Octave
%   and on the toolbox's embedded host.
%
%   Example
%     % A south facade at noon on 21 June at 47.4 N, 8.5 E (zone 15 E).
%     t = 171*86400 + 12*3600;
%     [~, ~, zen, az, ~] = heliopose(t, 47.4, -8.5, -15);
%     poa = tiltflux('perez', 90, 0, zen, az, 700, 120, 760, 1322, 0.2)
%     % The horizontal plane under the isotropic sky gets dni cosd(zen) + dhi.
%     poa = tiltflux('isotropic', 0, 0, 30, 0, 800, 100, 792.8, 1367, 0.2)
%     % A year of a roof tilted 35 degrees south, straight from the file.
%     w = weatherread('examples/data/weather/USA_IL_Chicago-OHare.725300_TMY3.epw');
%     s = w.site;
%     [~, ~, zen, az, ~] = heliopose(w.interval_time, s.latitude, s.longitude, s.longitude_timezone);
%     poa = tiltflux('perez', 35, 0, zen, az, w, heliokit(w.interval_time, 0, 0, 0, 1), 0.2);
%     sum(poa) / 1000                      % kWh/m2 in the year
%
%   See also HELIOPOSE, TOPFLUX, WEATHERREAD, PLANEFLUX, SLOPEGAIN.
