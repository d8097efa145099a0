% heliopose from Octave: values against the formulas written as vectorised
% Octave code, shapes, messages and refused inputs.
function octave_heliopose()
  addpath(fullfile(getenv('SIMBLOCKS_SOURCE_DIR'), 'bench', 'solar'));
  usage = sprintf('[Declination Altitude Zenith Azimut HourAngle] = \n  heliopose(time, latitude, longitude, longitude_timezone)\n');

  % t = 0 at latitude 50, longitude 10, zone meridian 15.
  [d, a, z, az, h] = heliopose(0, 50, 10, 15);
  assert(abs(d - (-23.057597845229232)) < 1e-12, 'declination at t = 0');
  assert(abs(h - (1025.734656 - 43200) / 240) < 1e-9, 'hour angle at t = 0');
  assert(abs(z - 152.8504) < 1e-4 && abs(a - (-62.8504)) < 1e-4, 'zenith and altitude at t = 0');
  assert(a == 90 - z, 'altitude is 90 minus the zenith');
  assert(az < 0, 'morning azimuth is east');

  % A day of hours, as a row and as a column: five 24 x 1 columns.
  t = 86400 * 100 + 3600 * (0:23) + 0.5;
  [r{1:5}] = heliopose(t, 47.4, 8.5, 15);
  [c{1:5}] = heliopose(t', 47.4, 8.5, 15);
  [e{1:5}] = heliopose_octave(t, 47.4, 8.5, 15);
  for k = 1:5
    assert(isequal(size(r{k}), [24 1]) && isequal(size(c{k}), [24 1]), 'outputs are 24 x 1 columns');
    assert(isequal(r{k}, c{k}), 'row and column times agree');
    assert(max(abs(r{k} - e{k})) < 1e-9, sprintf('output %d follows the formulas', k));
  end

  % Empty time: five empty columns, no error.
  [x{1:5}] = heliopose([], 50, 10, 15);
  for k = 1:5
    assert(isequal(size(x{k}), [0 1]), 'empty time gives 0 x 1 outputs');
  end

  % Messages and their identifiers: the argument counts print the usage first.
  printed = evalc('[msg, id] = caught(@() four_outputs_of_three());');
  assert(strcmp(msg, 'heliopose: Need 4 input arguments'), msg);
  assert(strcmp(id, 'simblocks:heliopose:wrongInputCount'), id);
  assert(strcmp(printed, usage), 'usage text before the input-count message');
  printed = evalc('[msg, id] = caught(@() one_output());');
  assert(strcmp(msg, 'heliopose: Need 5 output arguments'), msg);
  assert(strcmp(id, 'simblocks:heliopose:wrongOutputCount'), id);
  assert(strcmp(printed, usage), 'usage text before the output-count message');
  [msg, id] = caught(@() five(zeros(2, 2), 50, 10, 15));
  assert(strcmp(msg, 'heliopose: time must be scalar or vector, not a matrix'), msg);
  assert(strcmp(id, 'simblocks:heliopose:timeIsMatrix'), id);
  [msg, id] = caught(@() five(0, [50 51], 10, 15));
  assert(strcmp(msg, 'heliopose: inputs exept time must be scalar'), msg);
  assert(strcmp(id, 'simblocks:heliopose:siteNotScalar'), id);
  assert(strcmp(caught(@() five(0, 50, 10, [])), 'heliopose: inputs exept time must be scalar'));

  % Inputs that are not real doubles are refused.
  bad = {int32(3600), single(3600), true, 'a', 3600 + 1i, sparse(3600), sparse(0)};
  for k = 1:numel(bad)
    args = {3600, 50, 10, 15};
    for position = 1:4
      args_k = args;
      args_k{position} = bad{k};
      [msg, id] = caught(@() five(args_k{:}));
      assert(strcmp(msg, 'heliopose: inputs must be real double arrays'), msg);
      assert(strcmp(id, 'simblocks:heliopose:notRealDouble'), id);
    end
  end
  disp('octave_heliopose: all passed');
end

function five(varargin)
  [a, b, c, d, e] = heliopose(varargin{:});
end

function four_outputs_of_three()
  [a, b, c, d, e] = heliopose(0, 50, 10);
end

function one_output()
  a = heliopose(0, 50, 10, 15);
end

function [msg, id] = caught(f)
  msg = '';
  id = '';
  try
    f();
  catch err
    msg = err.message;
    id = err.identifier;
    return;
  end
  error('an error was expected');
end
