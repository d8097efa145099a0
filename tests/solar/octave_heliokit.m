% heliokit from Octave: the three quantities, the mode rounding, the vector
% input rules and the messages.
function octave_heliokit()
  % The series written out here: year angle, declination, equation of time,
  % eccentricity correction.
  w = @(t) t * 1.992384990861107e-7;
  decl = @(t) (0.006918 - 0.399912 * cos(w(t)) + 0.070257 * sin(w(t)) - 0.006758 * cos(2 * w(t)) ...
               + 0.000907 * sin(2 * w(t)) - 0.002679 * cos(3 * w(t)) + 0.00148 * sin(3 * w(t))) * 180 / pi;
  eot = @(t) 13752 * (0.000075 + 0.001868 * cos(w(t)) - 0.032077 * sin(w(t)) - 0.014615 * cos(2 * w(t)) ...
                      - 0.04089 * sin(2 * w(t)));
  g0 = @(t) 1367 * (1.00011 + 0.034221 * cos(w(t)) + 0.00128 * sin(w(t)) + 0.000719 * cos(2 * w(t)) ...
                    + 0.000077 * sin(2 * w(t)));
  solar = @(t, zone, lon) t - 86400 * fix(t / 86400) + eot(t) + 240 * (zone - lon);

  assert(abs(heliokit(0, 50, 10, 15, 1) - 1414.91335) < 1e-9, 'mode 1 at t = 0');
  assert(abs(heliokit(0, 50, 10, 15, 2) - (-23.057597845229232)) < 1e-12, 'mode 2 at t = 0');
  assert(abs(heliokit(0, 50, 10, 15, 3) - 1025.734656) < 1e-9, 'mode 3 at t = 0');

  % The mode is rounded half up.
  t = 86400 * 40 + 5000;
  cases = {2.4, decl(t); 2.5, solar(t, 15, 10); 0.5, g0(t); 0.49, 0; 3.5, 0; -0.6, 0; NaN, 0};
  for k = 1:rows(cases)
    y = heliokit(t, 50, 10, 15, cases{k, 1});
    assert(abs(y - cases{k, 2}) < 1e-9, sprintf('mode input %g', cases{k, 1}));
  end

  % The vector input gives the shape.
  t = 86400 * 200 + 3600 * (0:23);
  y = heliokit(t, 0, 10, 15, 3);
  assert(isequal(size(y), [1 24]) && max(abs(y - solar(t, 15, 10))) < 1e-9, 'row of times');
  y = heliokit(t', 0, 10, 15, 2);
  assert(isequal(size(y), [24 1]) && max(abs(y - decl(t'))) < 1e-12, 'column of times');
  y = heliokit(5000, 0, [0; 7.5; -30], 15, 3);
  assert(isequal(size(y), [3 1]) && max(abs(y - solar(5000, 15, [0; 7.5; -30]))) < 1e-9, 'column of longitudes');
  y = heliokit(5000, [1 2 3 4], 10, 15, 1);
  assert(isequal(y, repmat(heliokit(5000, 0, 10, 15, 1), 1, 4)), 'the unused input as the vector input');
  y = heliokit(5000, 0, 10, [15 99 99], [3 1]);
  assert(isequal(size(y), [1 1]) && abs(y - solar(5000, 15, 10)) < 1e-9, 'inputs 4 and 5 give their first element');
  assert(isequal(heliokit(t, 0, 10, 15, 7), zeros(1, 24)), 'a mode outside 1 to 3 gives zeros');

  % Messages and their identifiers.
  [msg, id] = caught(@() heliokit(0, 0, 0, 0));
  assert(strcmp(msg, 'heliokit: ERROR in heliokit: 5 inputs required.'), msg);
  assert(strcmp(id, 'simblocks:heliokit:wrongInputCount'), id);
  number = 'heliokit: ERROR in heliokit: input must be a number';
  bad = {[], 1 + 1i, int32(1), '1', true, single(1), {1}, sparse(1), sparse(0)};
  for k = 1:numel(bad)
    for position = 1:5
      args = {0, 0, 0, 0, 1};
      args{position} = bad{k};
      [msg, id] = caught(@() heliokit(args{:}));
      assert(strcmp(msg, number), sprintf('bad input %d at %d', k, position));
      assert(strcmp(id, 'simblocks:heliokit:notANumber'), id);
    end
  end
  vector = 'heliokit: ERROR in heliokit: only one input can be a vector';
  [msg, id] = caught(@() heliokit([1 2], 0, [1 2], 0, 1));
  assert(strcmp(msg, vector), msg);
  assert(strcmp(id, 'simblocks:heliokit:tooManyVectors'), id);
  assert(strcmp(caught(@() heliokit([1 2], 0, [1; 2], 0, 1)), vector));
  assert(strcmp(caught(@() heliokit(zeros(3), 0, 0, 0, 1)), vector));
  disp('octave_heliokit: all passed');
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
