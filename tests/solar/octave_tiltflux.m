% tiltflux and the planeflux block from Octave: a year of Chicago rows
% against the formulas written as vectorised Octave code, the block against
% tiltflux on heliopose's angles and topflux's irradiance, its sizes call,
% and the hostile calls of the robustness page (each an error with its
% identifier, or NaN in its row; never a crash).
function octave_tiltflux()
  source = getenv('SIMBLOCKS_SOURCE_DIR');
  addpath(fullfile(source, 'bench', 'solar'));
  w = weatherread(fullfile(source, 'examples', 'data', 'weather', 'USA_IL_Chicago-OHare.725300_TMY3.epw'));
  s = w.site;
  t = w.interval_time;
  [~, ~, zen, az, ~] = heliopose(t, s.latitude, s.longitude, s.longitude_timezone);
  extra = heliokit(t, 0, 0, 0, 1);
  weather = {w.direct_normal_radiation, w.diffuse_horizontal_radiation, w.global_horizontal_radiation, extra};

  % Every model on planes of every kind, against tiltflux_octave.
  models = {'isotropic', 'haydavies', 'perez', 'reindl', 'klucher'};
  planes = [0 0; 40 0; 90 -90; 90 0; 90 90; 90 180; 135 30];
  for m = 1:numel(models)
    for p = 1:rows(planes)
      [a{1:4}] = tiltflux(models{m}, planes(p, 1), planes(p, 2), zen, az, weather{:}, 0.2);
      [b{1:4}] = tiltflux_octave(models{m}, planes(p, 1), planes(p, 2), zen, az, weather{:}, 0.2);
      for k = 1:4
        assert(isequal(size(a{k}), [8760 1]), 'outputs are 8760 x 1');
        assert(max(abs(a{k} - b{k})) < 1e-9, sprintf('%s, plane %d, output %d', models{m}, p, k));
      end
      assert(all(a{1} >= 0) && all(isfinite(a{1})), sprintf('%s, plane %d: no negative or NaN total', models{m}, p));
    end
  end

  % The block equals tiltflux fed with heliopose's angles and topflux's
  % irradiance at the same times, bit for bit.
  days = t(t > 171 * 86400 & t < 173 * 86400);
  g = [w.global_horizontal_radiation w.direct_normal_radiation w.diffuse_horizontal_radiation];
  g = g(t > 171 * 86400 & t < 173 * 86400, :);
  params = {90, -90, s.latitude, s.longitude, s.longitude_timezone, 0.2, 'perez'};
  [total, parts] = simblock('planeflux', params, days, {days, g});
  [~, ~, z2, a2, ~] = heliopose(days, s.latitude, s.longitude, s.longitude_timezone);
  [e{1:4}] = tiltflux('perez', 90, -90, z2, a2, g(:, 2), g(:, 3), g(:, 1), simblock('topflux', {}, days, days), 0.2);
  assert(isequal(total, e{1}) && isequal(parts, [e{2:4}]), 'planeflux equals tiltflux on heliopose and topflux');
  assert(max(total) > 100, 'an east facade sees the morning sun');

  % Its sizes call: two inputs, two outputs, seven parameters.
  sizes = planeflux([], [], [], 0, params{:});
  assert(isequal(sizes([3 4 7 8 20 24]), [2; 2; 1; 7; 5200229; 2 + 8192]), 'planeflux sizes vector');

  hostile_calls();
  disp('octave_tiltflux: all passed');
end

% Bad input: each call ends with its error and identifier, Octave goes on.
function hostile_calls()
  ok = {90, 0, 30, 0, 500, 100, 533, 1400, 0.2};
  calls = {
    {},                                               'wrongInputCount';
    {'perez'},                                        'wrongInputCount';
    {'perez', ok{:}, 1},                              'wrongInputCount';
    {1, ok{:}},                                       'modelNotText';
    {{'perez'}, ok{:}},                               'modelNotText';
    {['perez'; 'perez'], ok{:}},                      'modelNotText';
    {'', ok{:}},                                      'unknownModel';
    {'perez ', ok{:}},                                'unknownModel';
    {repmat('x', 1, 100000), ok{:}},                  'unknownModel';
    {char([112 0 114]), ok{:}},                       'unknownModel';
    {'perez', int32(90), ok{2:end}},                  'notRealDouble';
    {'perez', ok{1:2}, single(30), ok{4:end}},        'notRealDouble';
    {'perez', ok{1:4}, true, ok{6:end}},              'notRealDouble';
    {'perez', ok{1:5}, 100 + 1i, ok{7:end}},          'notRealDouble';
    {'perez', ok{1:6}, sparse(533), ok{8:end}},       'notRealDouble';
    {'perez', ok{1:7}, {1400}, ok{9}},                'notRealDouble';
    {'perez', ok{1:8}, struct('a', 1)},               'notRealDouble';
    {'perez', ok{1:8}, 'a'},                          'notRealDouble';
    {'perez', zeros(2, 2), ok{2:end}},                'notVector';
    {'perez', ok{1:2}, zeros(1, 2, 2), ok{4:end}},    'notVector';
    {'perez', ok{1:2}, ones(3, 1), ok{4}, ones(2, 1), ok{6:end}}, 'lengthMismatch';
    {'perez', ok{1:2}, ones(3, 1), ok{4}, [], ok{6:end}},         'lengthMismatch';
  };
  for k = 1:rows(calls)
    id = caught(@() tiltflux(calls{k, 1}{:}));
    assert(strcmp(id, ['simblocks:tiltflux:' calls{k, 2}]), sprintf('hostile call %d: got "%s"', k, id));
  end
  id = caught(@() five_outputs());
  assert(strcmp(id, 'simblocks:tiltflux:wrongOutputCount'), id);
  % Numbers that mean nothing give NaN (or a value) in their row alone.
  odd = [NaN; Inf; -Inf; -1e300; 1e300; 0];
  for position = 2:10
    args = [{'perez'}, ok];
    args{position} = odd;
    y = tiltflux(args{:});
    assert(isequal(size(y), [6 1]), sprintf('argument %d: one row per value', position));
  end
  y = tiltflux('perez', ok{1:4}, [500; NaN; 500], ok{6:end});
  assert(isnan(y(2)) && y(1) == y(3) && isfinite(y(1)), 'a NaN stays in its row');
end

function five_outputs()
  [a, b, c, d, e] = tiltflux('perez', 90, 0, 30, 0, 500, 100, 533, 1400, 0.2);
end

function id = caught(f)
  id = '';
  try
    f();
  catch err
    id = err.identifier;
    return;
  end
  error('an error was expected');
end
