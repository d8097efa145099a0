% tiltflux and the planeflux block from Octave: a year of Chicago rows
% against the formulas written as vectorised Octave code, the block against
% tiltflux on heliopose's angles and topflux's irradiance, its sizes call,
% the weather as a structure, the closure warning on inputs in the wrong
% order (tiltflux and the block, on both shipped weather files), and the
% hostile calls of the robustness page (each an error with its identifier,
% or NaN in its row; never a crash).
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

  struct_form_and_closure(source);
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

% The structure form equals the positional one; the closure guard warns
% when the three irradiances come in another order, and only then.
function struct_form_and_closure(source)
  folder = fullfile(source, 'examples', 'data', 'weather');
  files = {'USA_IL_Chicago-OHare.725300_TMY3.epw', 'PVGIS_tmy_45.000_8.000_2005_2023.epw'};
  for f = 1:numel(files)
    w = weatherread(fullfile(folder, files{f}));
    s = w.site;
    t = w.interval_time;
    [~, ~, zen, az, ~] = heliopose(t, s.latitude, s.longitude, s.longitude_timezone);
    extra = heliokit(t, 0, 0, 0, 1);
    dni = w.direct_normal_radiation;
    dhi = w.diffuse_horizontal_radiation;
    ghi = w.global_horizontal_radiation;

    % weatherread's own structure, and one with the short names and a field
    % more: the positional results, bit for bit, and no warning.
    lastwarn('', '');
    [a{1:4}] = tiltflux('perez', 35, 0, zen, az, dni, dhi, ghi, extra, 0.2);
    [b{1:4}] = tiltflux('perez', 35, 0, zen, az, w, extra, 0.2);
    [c{1:4}] = tiltflux('perez', 35, 0, zen, az, struct('ghi', ghi, 'dni', dni, 'dhi', dhi, 'x', 1), extra, 0.2);
    assert(isequal(a, b) && isequal(a, c), [files{f} ': the structure form equals the positional one']);
    [~, id] = lastwarn();
    assert(isempty(id), [files{f} ': no warning in the right order, got ' id]);

    % The night alone (sun below the horizon): nothing to judge, no warning,
    % even in a wrong order.
    night = zen > 90;
    tiltflux('perez', 35, 0, zen(night), az(night), ghi(night), dni(night), dhi(night), extra(night), 0.2);
    [~, id] = lastwarn();
    assert(isempty(id), [files{f} ': no warning at night, got ' id]);

    % The weather file's order (ghi, dni, dhi) where dni, dhi, ghi is
    % meant, and dni and ghi swapped: one warning each, naming the swap;
    % the results are still those computed from the values as given.
    swaps = {{ghi, dni, dhi}, {ghi, dhi, dni}};
    named = {'given as dni taken for ghi', 'given as ghi taken for dni'};
    for k = 1:numel(swaps)
      lastwarn('', '');
      y = tiltflux('perez', 35, 0, zen, az, swaps{k}{:}, extra, 0.2);
      [text, id] = lastwarn();
      assert(strcmp(id, 'simblocks:tiltflux:closure'), sprintf('%s swap %d: the closure warning, got "%s"', files{f}, k, id));
      assert(~isempty(strfind(text, named{k})), sprintf('%s swap %d names it: %s', files{f}, k, text));
      assert(isequal(y, tiltflux('perez', 35, 0, zen, az, swaps{k}{:}, extra, 0.2)), 'results as computed');
    end

    % The block over two days of its input: [ghi dni dhi] as it wants it
    % gives no warning; [dni ghi dhi] gives one, once.
    days = t(t > 171 * 86400 & t < 173 * 86400);
    g = [ghi dni dhi](t > 171 * 86400 & t < 173 * 86400, :);
    params = {35, 0, s.latitude, s.longitude, s.longitude_timezone, 0.2, 'perez'};
    lastwarn('', '');
    simblock('planeflux', params, days, {days, g});
    [~, id] = lastwarn();
    assert(isempty(id), [files{f} ': planeflux, no warning in the right order, got ' id]);
    out = evalc('simblock(''planeflux'', params, days, {days, g(:, [2 1 3])});');
    [~, id] = lastwarn();
    assert(strcmp(id, 'simblocks:tiltflux:closure'), [files{f} ': planeflux warns on dni and ghi swapped']);
    assert(numel(strfind(out, 'rows with the sun up')) == 1, [files{f} ': planeflux warns once per run: ' out]);
  end

  % A structure without dni (nor direct_normal_radiation) is refused.
  id = caught(@() tiltflux('perez', 35, 0, 30, 0, struct('dhi', 100, 'ghi', 500), 1367, 0.2));
  assert(strcmp(id, 'simblocks:tiltflux:missingField'), id);
  id = caught(@() tiltflux('perez', 35, 0, 30, 0, struct('dni', {1, 2}, 'dhi', 1, 'ghi', 1), 1367, 0.2));
  assert(strcmp(id, 'simblocks:tiltflux:notScalarStruct'), id);
  id = caught(@() tiltflux('perez', 35, 0, 30, 0, struct('dni', 'a', 'dhi', 1, 'ghi', 1), 1367, 0.2));
  assert(strcmp(id, 'simblocks:tiltflux:notRealDouble'), id);
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
