% tiltflux's transposition as vectorised Octave code: the formulas written
% one array operation at a time, with Octave's cosd and sind, for the same
% arguments (scalars stand for every row; vectors are taken as columns).
% Used by the benchmark against tiltflux and by the tests as an
% implementation of its own. Where tiltflux keeps a NaN, Octave's max may
% give 0: compare the two on numbers.
function [poa, beam, sky, ground] = tiltflux_octave(model, tilt, azimuth, zen, sun_az, dni, dhi, ghi, dni_extra, albedo)
  [tilt, azimuth, zen, sun_az, dni, dhi, ghi, dni_extra, albedo] = ...
      deal(tilt(:), azimuth(:), zen(:), sun_az(:), dni(:), dhi(:), ghi(:), dni_extra(:), albedo(:));
  ct = cosd(tilt);
  st = sind(tilt);
  svf = (1 + ct) / 2;
  cz = cosd(zen);
  sz = sind(zen);
  cos_aoi = ct .* cz + st .* sz .* cosd(sun_az - azimuth);
  cos_aoi = min(max(cos_aoi, -1), 1);
  A = max(cos_aoi, 0);
  beam = max(dni .* cos_aoi, 0);
  ground = ghi .* albedo .* (1 - ct) / 2;
  switch lower(model)
    case 'isotropic'
      sky = dhi .* svf;
    case 'haydavies'
      AI = dni ./ dni_extra;
      Rb = A ./ max(cz, 0.01745);
      sky = max(dhi .* (1 - AI) .* svf, 0) + max(dhi .* AI .* Rb, 0);
    case 'reindl'
      AI = dni ./ dni_extra;
      Rb = A ./ max(cz, 0.01745);
      HB = max(dni .* cz, 0);
      f = HB ./ ghi;
      f(ghi == 0) = 0;
      sky = dhi .* ((1 - AI) .* svf .* (1 + sqrt(f) .* sind(tilt / 2) .^ 3) + AI .* Rb);
    case 'klucher'
      F = 1 - (dhi ./ ghi) .^ 2;
      F(dhi == 0 & ghi == 0) = 0;
      sky = dhi .* svf .* (1 + F .* sind(tilt / 2) .^ 3) .* (1 + F .* A .^ 2 .* sz .^ 3);
    case 'perez'
      sky = perez(zen, cz, A, dni, dhi, dni_extra, svf, st);
    otherwise
      error('unknown model %s', model);
  end
  poa = beam + sky + ground;
end

function sky = perez(zen, cz, A, dni, dhi, dni_extra, svf, st)
  % All-sites composite coefficients (Perez et al. 1990): per clearness bin
  % f11 f12 f13 f21 f22 f23.
  c = [-0.008  0.588 -0.062 -0.060  0.072 -0.022
        0.130  0.683 -0.151 -0.019  0.066 -0.029
        0.330  0.487 -0.221  0.055 -0.064 -0.026
        0.568  0.187 -0.295  0.109 -0.152 -0.014
        0.873 -0.392 -0.362  0.226 -0.462  0.001
        1.132 -1.237 -0.412  0.288 -0.823  0.056
        1.060 -1.600 -0.359  0.264 -1.127  0.131
        0.678 -0.327 -0.250  0.156 -1.377  0.251];
  base = 6.07995 + 90 - zen;
  base(zen > 90) = NaN;                   % no air mass below the horizon (and no complex power)
  AM = 1 ./ (cz + 0.50572 * base .^ -1.6364);
  z = zen * (pi / 180);
  k = 1.041 * z .^ 3;
  delta = dhi .* AM ./ dni_extra;
  eps = ((dhi + dni) ./ dhi + k) ./ (1 + k);
  bin = lookup([1 1.065 1.23 1.5 1.95 2.8 4.5 6.2], eps);
  bin(bin == 0) = 1;                      % rows without a bin are set below
  f = c(bin, :);
  F1 = max(f(:, 1) + f(:, 2) .* delta + f(:, 3) .* z, 0);
  F2 = f(:, 4) + f(:, 5) .* delta + f(:, 6) .* z;
  B = max(cz, cosd(85));
  sky = max(dhi .* ((1 - F1) .* svf + F1 .* A ./ B + F2 .* st), 0);
  sky(eps < 1 | isnan(eps)) = NaN;        % no bin
  sky(dhi == 0 & dni == 0) = 0;           % a dark sky
  sky(zen > 90) = 0;                      % the sun below the horizon
end
