% ANNUAL_IRRADIATION Solar irradiation over a year on the facades and roof
% of a building at Chicago O'Hare, from the typical-year weather file.
%   annual_irradiation            prints the table and draws a bar chart
%   annual = annual_irradiation   returns it, kWh/m2 per year, in the order
%                                 of names (horizontal, the four facades,
%                                 a roof tilted 40 degrees facing south)
%   [annual, names] = annual_irradiation(file, model)
%                                 another weather file or sky model
%
% How: weatherread reads the file; the irradiance of each hourly row is the
% mean over its hour, so the sun is taken at the middle of the hour
% (interval_time) with heliopose; tiltflux turns the global, direct and
% diffuse irradiance into the irradiance on each plane (Perez sky, ground
% albedo 0.2). An hour at a mean of P W/m2 brings P Wh/m2: the year's sum of
% the rows in Wh/m2, divided by 1000, is the annual irradiation in kWh/m2.
function [annual, names] = annual_irradiation(file, model)
  if nargin < 1 || isempty(file)
    file = fullfile(fileparts(mfilename('fullpath')), 'data', 'weather', 'USA_IL_Chicago-OHare.725300_TMY3.epw');
  end
  if nargin < 2
    model = 'perez';
  end
  w = weatherread(file);
  s = w.site;
  t = w.interval_time;
  [~, ~, zen, az, ~] = heliopose(t, s.latitude, s.longitude, s.longitude_timezone);
  dni_extra = heliokit(t, 0, 0, 0, 1);

  names = {'horizontal', 'south', 'east', 'west', 'north', 'roof 40 S'};
  tilt = [0 90 90 90 90 40];
  azimuth = [0 0 -90 90 180 0];
  annual = zeros(1, numel(tilt));
  for k = 1:numel(tilt)
    poa = tiltflux(model, tilt(k), azimuth(k), zen, az, w.direct_normal_radiation, ...
                   w.diffuse_horizontal_radiation, w.global_horizontal_radiation, dni_extra, 0.2);
    annual(k) = sum(poa) / 1000;
  end
  if nargout > 0
    return;
  end

  printf('%s (%s sky): annual irradiation, kWh/m2\n', s.name, model);
  for k = 1:numel(names)
    printf('  %-12s %7.1f\n', names{k}, annual(k));
  end
  bar(annual);
  set(gca, 'xticklabel', names);
  ylabel('kWh/m^2 per year');
  title(sprintf('%s: solar irradiation on a building (%s sky)', s.name, model));
  clear annual names;   % nothing echoed as ans
end
