% simrun and simblock in Octave against the command-line runner: the
% example models give the runner's CSV numbers bit for bit, a struct model
% equals its JSON twin, simblock runs single blocks, each kind of failure
% raises its identifier with the runner's own message and leaves Octave fit
% for the next run, bad arguments never crash, and memory stays flat over a
% thousand runs. Raises an error at the first fault.
function octave_simrun()
  src = getenv('SIMBLOCKS_SOURCE_DIR');
  cli = fullfile(getenv('SIMBLOCKS_BINARY_DIR'), 'bin', 'simrun');
  work = tempname();
  mkdir(work);
  here = pwd();
  cleanup = onCleanup(@() finish(here, work));
  cd(work);
  check_examples(src, cli, work);
  check_struct_model(src);
  check_set(src, cli, work);
  check_one_item_lists();
  check_simblock(src, cli, work);
  check_standard_blocks();
  check_errors(cli, work);
  check_bad_arguments(work);
  check_memory();
  printf('octave_simrun: all checks passed\n');
end

function finish(here, work)
  cd(here);
  confirm_recursive_rmdir(false, 'local');
  rmdir(work, 's');
end

function fail(varargin)
  error('octave_simrun:fault', varargin{:});
end

% The header and the numbers of a CSV file the runner wrote.
function [labels, data] = read_csv(file)
  text = fileread(file);
  first = strtok(text, "\n");
  labels = strsplit(first, ',');
  data = dlmread(file, ',', 1, 0);
end

% The column of out that a CSV header label names: "x" is field x, "x[3]"
% column 3 of field x, "x[T]" the column of x named T in 'names'.
function v = column(out, label, names)
  tok = regexp(label, '^([A-Za-z_]\w*(?::\d+)?)\[([^\]]+)\]$', 'tokens', 'once');
  if (isempty(tok))
    v = out.(regexprep(label, '[^A-Za-z0-9_]+', '_'));
    return;
  end
  whole = out.(regexprep(tok{1}, ':', '_'));
  k = str2double(tok{2});
  if (isnan(k))
    k = find(strcmp(names.(tok{1}), tok{2}));
  end
  v = whole(:, k);
end

function check_examples(src, cli, work)
  names = struct('weather', {{'T', 'RH', 'N'}});
  models = {'roof', 'window_pump', 'calendar'};
  for m = 1:numel(models)
    model = fullfile(src, 'examples', [models{m} '.json']);
    [status, ~] = system(sprintf('"%s" -q --no-progress -o "%s" "%s" 2>&1', cli, fullfile(work, 'cli'), model));
    if (status != 0)
      fail('%s: the command-line runner failed', models{m});
    end
    printed = evalc('out = simrun(model, ''OutputDir'', fullfile(work, ''oct''));');
    csv = [models{m} '.csv'];
    a = fileread(fullfile(work, 'cli', csv));
    b = fileread(fullfile(work, 'oct', csv));
    if (! strcmp(a, b))
      fail('%s: the CSV file simrun wrote differs from the command-line runner''s', models{m});
    end
    % Every number of the runner's CSV is in out, at the rows of its times.
    [labels, data] = read_csv(fullfile(work, 'cli', csv));
    [found, rows] = ismember(data(:, 1), out.time);
    if (! all(found))
      fail('%s: out.time lacks times of the CSV file', models{m});
    end
    for c = 2:numel(labels)
      v = column(out, labels{c}, names);
      if (! isequal(v(rows), data(:, c)))
        fail('%s: column %s differs from the runner''s CSV', models{m}, labels{c});
      end
    end
    if (! strcmp(pwd(), work))
      fail('%s: simrun did not return to the current folder', models{m});
    end
    if (strcmp(models{m}, 'calendar'))
      % printer prints in the command window; tablogger writes into OutputDir.
      if (numel(strfind(printed, '--> print ')) != numel(out.time))
        fail('calendar: printer did not print once per step:\n%s', printed);
      end
      % (the first line holds the time the file was made)
      a = strsplit(fileread(fullfile(work, 'cli', 'calendar-log.txt')), "\n");
      b = strsplit(fileread(fullfile(work, 'oct', 'calendar-log.txt')), "\n");
      if (numel(a) < 3 || ! isequal(a(2:end), b(2:end)))
        fail('calendar: tablogger''s rows differ');
      end
    end
  end
end

% The roof example built in Octave: a CSV source by struct, a matrix source
% from the same file's numbers, a workspace sink with a named signal.
function check_struct_model(src)
  model = fullfile(src, 'examples', 'roof.json');
  ref = simrun(model);
  file = fullfile(src, 'examples', 'data', 'weather.csv');
  m = struct('start', 14774400, 'stop', 14860800, 'step', 60);
  m.sources = struct('name', {'clock', 'weather'}, 'type', {'clock', 'csv'});
  m.sources(2).file = file;
  m.sources(2).time = 'hour';
  m.sources(2).time_unit = 'h';
  m.sources(2).columns = {'T', 'RH', 'N'};
  m.sources(2).interpolation = 'linear';
  m.blocks(1) = struct('name', 'declination', 'type', 'heliolean', 'parameters', [], 'inputs', {{'clock'}});
  m.blocks(2) = struct('name', 'solar_time', 'type', 'heliohour', 'parameters', {{-15, -8.55}}, 'inputs', {{'clock'}});
  m.blocks(3) = struct('name', 'irradiance', 'type', 'topflux', 'parameters', [], 'inputs', {{'clock'}});
  m.blocks(4) = struct('name', 'sky', 'type', 'atmoglow', 'parameters', {{1}}, ...
                       'inputs', {{{'weather[T]', 'weather[RH]', 'weather[N]'}}});
  out = simrun(m);
  if (! isequal(fieldnames(out), fieldnames(ref)))
    fail('struct model: fields %s, not those of its JSON twin', strjoin(fieldnames(out)', ', '));
  end
  for f = fieldnames(ref)'
    if (! isequal(out.(f{1}), ref.(f{1})))
      fail('struct model: %s differs from its JSON twin', f{1});
    end
  end

  % The weather as a matrix: the same numbers, so the same sky.
  [labels, data] = read_csv(file);
  col = @(name) data(:, strcmp(labels, name));
  w = struct('name', 'weather', 'type', 'matrix', 'time', col('hour') * 3600, ...
             'values', [col('T') col('RH') col('N')], 'columns', {{'T', 'RH', 'N'}}, 'interpolation', 'linear');
  m.sources = {struct('name', 'clock', 'type', 'clock'), w};
  m.sinks = struct('type', 'workspace', 'every', 600, ...
                   'signals', {{struct('signal', 'sky', 'name', 'T_sky'), 'weather[RH]', 'solar_time'}});
  out = simrun(m, 'Stop', 14774400 + 6 * 3600);
  rows = 1:10:361;
  if (! isequal(fieldnames(out)', {'time', 'T_sky', 'weather_RH', 'solar_time'}) ...
      || ! isequal(out.time, ref.time(rows)) || ! isequal(out.T_sky, ref.sky(rows)) ...
      || ! isequal(out.weather_RH, ref.weather(rows, 2)) || ! isequal(out.solar_time, ref.solar_time(rows)))
    fail('matrix source and workspace sink: not the JSON twin''s numbers');
  end
  % Held values between rows, and a period: the source changes every hour only.
  w.interpolation = 'hold';
  w.period = 3600;
  m.sources = {w};
  m.blocks = [];
  m.sinks = struct('type', 'workspace', 'signals', {{'weather'}});
  out = simrun(m, 'Step', 1800, 'Stop', 14774400 + 7200);
  hour = col('hour');
  rows = arrayfun(@(h) find(hour == h), 14774400 / 3600 + [0 0 1 1 2]);
  if (! isequal(out.weather, [col('T')(rows) col('RH')(rows) col('N')(rows)]))
    fail('matrix source, hold: got %s', mat2str(out.weather));
  end

  % A weather file by struct: a scaled field, and block parameters from the
  % file's site (LOCATION: longitude -87.92 east, time zone -6 hours).
  tmy = struct('name', 'tmy', 'type', 'epw', ...
               'file', fullfile(src, 'examples', 'data', 'weather', 'USA_IL_Chicago-OHare.725300_TMY3.epw'));
  tmy.fields = {'dry_bulb_temperature', struct('name', 'total_sky_cover', 'scale', 0.1)};
  m = struct('start', 3600, 'stop', 7200, 'step', 3600, 'sources', tmy);
  m.sources = {tmy, struct('name', 'clock', 'type', 'clock')};
  site = {struct('source', 'tmy', 'site', 'longitude_timezone'), struct('source', 'tmy', 'site', 'longitude')};
  m.blocks = struct('name', {'from_file', 'by_hand'}, 'type', 'heliohour', 'parameters', {site, {90, 87.92}}, ...
                    'inputs', {{'clock'}});
  m.sinks = struct('type', 'workspace', 'signals', {{'tmy', 'from_file', 'by_hand'}});
  out = simrun(m);
  % Rows 1 and 2 of the file (hours 1 and 2 of 1 January): -12.2 and -11.7 degC, sky cover 9 and 10 tenths.
  if (! isequal(out.tmy, [-12.2 0.9; -11.7 1.0]) || ! isequal(out.from_file, out.by_hand))
    fail('weather file by struct: got %s and solar times %s, %s', mat2str(out.tmy), ...
         mat2str(out.from_file), mat2str(out.by_hand));
  end
end

% Overrides ('Set'): the command-line runner's --set, with its paths, checks
% and messages, for a model file and for a struct model.
function check_set(src, cli, work)
  model = fullfile(src, 'examples', 'roof.json');
  [status, msg] = system(sprintf(['"%s" -q --no-progress -o "%s" --set stop=14781600 --set "blocks.sky.parameters[1]=0" ' ...
                                  '--set "blocks.solar_time.parameters[2]=-9.5" "%s" 2>&1'], cli, fullfile(work, 'cli-set'), model));
  if (status != 0)
    fail('--set: the command-line runner failed: %s', msg);
  end
  evalc(['simrun(model, ''OutputDir'', fullfile(work, ''oct-set''), ''Set'', ' ...
         '{''stop'', 14781600, ''blocks.sky.parameters[1]'', 0, ''blocks.solar_time.parameters[2]'', -9.5});']);
  if (! strcmp(fileread(fullfile(work, 'cli-set', 'roof.csv')), fileread(fullfile(work, 'oct-set', 'roof.csv'))))
    fail('Set: the CSV file differs from the command-line runner''s with --set');
  end
  m = struct('start', 0, 'stop', 7200, 'step', 600, 'sources', struct('name', 'clock', 'type', 'clock'));
  m.blocks = struct('name', 't', 'type', 'heliohour', 'parameters', {{-15, -8.55}}, 'inputs', {{'clock'}});
  a = simrun(m, 'Set', {'blocks.t.parameters[2]', -9.5, 'stop', 3600});
  m.blocks.parameters = {-15, -9.5};
  m.stop = 3600;
  if (! isequal(a, simrun(m)))
    fail('Set: a struct model with overrides differs from the struct changed by hand');
  end
  bad = {{'blocks.u.parameters[1]', 0}, 'Set: blocks.u.parameters[1]: the model has no block named ''u''';
         {'blocks.t.parameters[1]', 'west'}, 'Set: blocks.t.parameters[1]: takes a number';
         {'stop'}, '''Set'' must be a cell list of path/value pairs';
         {1, 2}, 'Set: element 1 must be a path'};
  for k = 1:rows(bad)
    try
      simrun(m, 'Set', bad{k, 1});
      fail('Set: %s was accepted', bad{k, 2});
    catch err
      if (! strcmp(err.identifier, 'simblocks:simrun:args') || isempty(strfind(err.message, bad{k, 2})))
        fail('Set: %s gave %s: %s', bad{k, 2}, err.identifier, err.message);
      end
    end
  end
end

% One item given alone where a list is expected is a list of one: a number
% or a row as one parameter, text as one signal; [] is an empty list.
function check_one_item_lists()
  m = struct('stop', 7200, 'step', 3600);
  m.sources = struct('name', {'c', 'w'}, 'type', {'clock', 'constant'}, 'value', {[], [20 50 0.5]});
  m.blocks = struct('name', 'sky', 'type', 'atmoglow', 'parameters', {{1}}, 'inputs', {{'w'}});
  m.blocks(2) = struct('name', 'd', 'type', 'heliolean', 'parameters', [], 'inputs', {{'c'}});
  m.sinks = struct('type', 'workspace', 'signals', {{'sky'}});
  ref = simrun(m);
  alone = m;
  alone.blocks(1).parameters = 1;
  alone.blocks(1).inputs = 'w';
  alone.blocks(2).parameters = zeros(1, 0);
  alone.sinks.signals = 'sky';
  if (! isequal(simrun(alone), ref) || any(isnan(ref.sky)))
    fail('one item alone: not the result of the lists of one');
  end
  % A row is one parameter: heliohour, which takes two, is given one.
  two = setfield(m, 'blocks', struct('name', 'h', 'type', 'heliohour', 'parameters', [-15 -8.55], 'inputs', 'c'));
  [id, msg] = failure(@() simrun(two));
  if (! strcmp(id, 'simblocks:simrun:block') || isempty(strfind(msg, 'expects 2 dialog parameters, given 1')))
    fail('a row as the parameters: %s "%s"', id, msg);
  end
  t = (0:3600:7200)';
  u = [20 50 0.5; 10 80 1; -5 30 0];
  if (! isequal(simblock('atmoglow', 1, t, u), simblock('atmoglow', {1}, t, u)) ...
      || ! isequal(simblock('heliolean', [], t, t), simblock('heliolean', {}, t, t)))
    fail('simblock: a parameter alone is not a list of one');
  end
end

function check_simblock(src, cli, work)
  % atmoglow over the runner's own CSV of the roof day.
  [~, data] = read_csv(fullfile(work, 'cli', 'roof.csv'));
  Tsky = simblock('atmoglow', {1}, data(:, 1), data(:, 5:7));
  if (! isequal(Tsky, data(:, 8)))
    fail('simblock atmoglow: not the runner''s sky temperatures');
  end
  % stampout: five elements, the values of its help text worked by hand.
  t = [1; 3600.5; 5097601; 31536000];
  y = simblock('stampout', {}, t, t);
  if (! isequal(y, [1 1 0 0 1; 1 1 1 0 0.5; 3 1 0 0 1; 12 31 24 0 0]))
    fail('simblock stampout: %s', mat2str(y));
  end
  % tablogger writes its file, one row per row with a high trigger.
  log = fullfile(work, 'simblock-log.txt');
  simblock('tablogger', {1, log}, [0; 1; 2], [1.5 -20 1; 2 3 0; 4.25 0 1]);
  lines = strsplit(fileread(log), "\n");
  if (numel(lines) != 4 || ! strcmp(lines{2}, '1.500000 -20.000000 ') || ! strcmp(lines{3}, '4.250000 0.000000 ') ...
      || ! isempty(lines{4}))
    fail('simblock tablogger: the file holds\n%s', fileread(log));
  end
  % printer prints in the command window and passes its input on.
  u = [1.5 20; 2 -3];
  text = evalc('y = simblock(''printer'', {}, [0.5; 1], u);');
  if (! isequal(y, u) || isempty(regexp(text, '--> print \d+, time 0.5: 1.5 20 \n--> print \d+, time 1: 2 -3 ', 'once')))
    fail('simblock printer: printed\n%s', text);
  end
  % Several ports: a cell array of inputs.
  y1 = simblock('degreeswap', {1, 2}, [0; 1], {[0; -273.15]});
  if (! isequal(y1, [273.15; 0]))
    fail('simblock degreeswap: %s', mat2str(y1));
  end
end

% Standard blocks from Octave: simblock integrates a transfer function over
% the series, a struct model takes matrices (a column stays a column), the
% 'Set' option a matrix, and the solver's statistics print on request.
function check_standard_blocks()
  % 1 / (3600 s + 1) driven by a unit step from rest: y = 1 - exp(-t / 3600).
  t = (0:60:86400)';
  y = simblock('transfer', {1, [3600 1]}, t, ones(size(t)));
  if (max(abs(y - (1 - exp(-t / 3600)))) > 1e-4)
    fail('simblock transfer: off 1 - exp(-t/3600) by %g', max(abs(y - (1 - exp(-t / 3600)))));
  end
  % A gain of one factor per element, and a delay: the previous row, x0 first.
  if (! isequal(simblock('gain', {[2 -3]}, t(1:3), [t(1:3) t(1:3)]), [0 0; 120 -180; 240 -360]) ...
      || ! isequal(simblock('delay', 5, t(1:4), t(1:4)), [5; 0; 60; 120]))
    fail('simblock gain or delay');
  end
  [id, msg] = failure(@() simblock('transfer', {1, [3600 1]}, [0; 60; 180], [1; 1; 1]));
  if (! strcmp(id, 'simblocks:simblock:time') || isempty(strfind(msg, 'evenly spaced')))
    fail('simblock, uneven times: %s "%s"', id, msg);
  end
  [id, msg] = failure(@() simblock('statespace', {-1, [1; 1], 1, 0, 0}, t, t));
  if (! strcmp(id, 'simblocks:simblock:block') || isempty(strfind(msg, 'parameter 2 (B) has 2 rows, A has 1')))
    fail('simblock, misfit statespace: %s "%s"', id, msg);
  end
  % The oscillator dx/dt = [0 w; -w 0] x, x(0) = (1, 0): x = (cos(w t), -sin(w t)).
  m = struct('stop', 10, 'step', 0.5, 'solver', struct('method', 'bdf', 'rtol', 1e-10, 'atol', 1e-12));
  m.sources = struct('name', 'zero', 'type', 'constant', 'value', 0);
  m.blocks = struct('name', 'osc', 'type', 'statespace', 'inputs', 'zero', ...
                    'parameters', {{[0 1; -1 0], [0; 0], eye(2), [0; 0], [1 0]}});
  m.sinks = struct('type', 'workspace', 'signals', 'osc');
  for w = [1 2]
    text = evalc('out = simrun(m, ''SolverStats'', true, ''Set'', {''blocks.osc.parameters[1]'', [0 w; -w 0]});');
    if (max(max(abs(out.osc - [cos(w * out.time) -sin(w * out.time)]))) > 1e-6 || rows(out.time) != 21)
      fail('struct model with matrices, w = %g: off by %g', w, max(max(abs(out.osc - [cos(w * out.time) -sin(w * out.time)]))));
    end
    if (isempty(regexp(text, 'solver bdf: [1-9]\d* steps', 'once')))
      fail('SolverStats printed "%s"', text);
    end
  end
end

% A failure's identifier and text, or empty ones.
function [id, msg] = failure(f)
  id = '';
  msg = '';
  try
    f();
  catch e
    id = e.identifier;
    msg = e.message;
  end
end

function check_errors(cli, work)
  ok = struct('stop', 60, 'step', 60, 'sources', struct('name', 'c', 'type', 'clock'));
  cases = {
    'simblocks:simrun:model', '{"stop": 10, "step": 0, "sources": [{"name": "c", "type": "clock"}]}'
    'simblocks:simrun:model', '{"stop": 10, "step": 1, "blocks": [{"name": "b", "type": "nosuchblock"}]}'
    'simblocks:simrun:sink', '{"stop": 10, "step": 1, "sources": [{"name": "c", "type": "clock"}], "sinks": [{"type": "csv", "file": "x.csv", "signals": ["d"]}]}'
    'simblocks:simrun:source', '{"stop": 10, "step": 1, "sources": [{"name": "w", "type": "csv", "file": "missing.csv"}]}'
    'simblocks:simrun:block', '{"stop": 10, "step": 1, "sources": [{"name": "c", "type": "clock"}], "blocks": [{"name": "s", "type": "atmoglow", "parameters": [1], "inputs": ["c"]}]}'
    'simblocks:simrun:block', '{"stop": 10, "step": 1, "sources": [{"name": "c", "type": "clock"}], "blocks": [{"name": "h", "type": "heliohour", "parameters": [15, []], "inputs": ["c"]}]}'
    'simblocks:simrun:block', '{"stop": 10, "step": 1, "sources": [{"name": "c", "type": "clock"}], "blocks": [{"name": "d", "type": "degreeswap", "parameters": [1, 9], "inputs": ["c"]}]}'
    'simblocks:simrun:sink', '{"stop": 10, "step": 1, "sources": [{"name": "c", "type": "clock"}], "sinks": [{"type": "csv", "file": "no/such/folder/x.csv", "signals": ["c"]}]}'
    'simblocks:simrun:model', '{"stop": 10, "step": 1, "solver": {"method": "ode45"}, "sources": [{"name": "c", "type": "clock"}]}'
    'simblocks:simrun:block', '{"stop": 10, "step": 1, "sources": [{"name": "c", "type": "clock"}], "blocks": [{"name": "r", "type": "relay", "parameters": [0, 1, 1, 0], "inputs": ["c"]}]}'
    'simblocks:simrun:loop', '{"stop": 10, "step": 1, "sources": [{"name": "c", "type": "clock"}], "blocks": [{"name": "a", "type": "sum", "parameters": ["+-"], "inputs": ["c", "b"]}, {"name": "b", "type": "gain", "parameters": [2], "inputs": ["a"]}]}'
  };
  for k = 1:rows(cases)
    file = fullfile(work, sprintf('bad%d.json', k));
    fid = fopen(file, 'w');
    fputs(fid, cases{k, 2});
    fclose(fid);
    [~, text] = system(sprintf('cd "%s" && "%s" -q --no-progress "%s" 2>&1', work, cli, file));
    want = regexp(text, 'simrun: error: (.*?)\n', 'tokens', 'once'){1};
    % (where the runner looked for a library differs: .so files, .mex files)
    want = regexprep(want, ' \(no \w+\.so in .*\)$', '');
    [id, msg] = failure(@() simrun(file));
    if (! strcmp(id, cases{k, 1}) || isempty(strfind(msg, want)))
      fail('bad model %d: got %s "%s", want %s "%s"', k, id, msg, cases{k, 1}, want);
    end
    if (! isequal(simrun(ok).c, [0; 60]))
      fail('bad model %d: the next run fails', k);
    end
  end
  [id, msg] = failure(@() simrun(ok, 'Stop'));
  if (! strcmp(id, 'simblocks:simrun:args'))
    fail('an option without a value: %s %s', id, msg);
  end
  % A block error names the block and the time, as the runner does.
  [id, msg] = failure(@() simblock('heliohour', {15, []}, [5; 6], [1; 2]));
  if (! strcmp(id, 'simblocks:simblock:block') || isempty(strfind(msg, 'block ''heliohour'' (heliohour) at t = 5 s: ')))
    fail('simblock block error: %s "%s"', id, msg);
  end
end

% Every argument wrong in turn: an identified error, never a crash.
function check_bad_arguments(work)
  m = struct('stop', 2, 'step', 1, 'sources', struct('name', 'c', 'type', 'clock'));
  bad_models = {42, {}, 'no-such-file.json', [m m], ...
                setfield(m, 'stop', 'x'), setfield(m, 'step', {1}), setfield(m, 'start', NaN), ...
                setfield(m, 'step', -1), setfield(m, 'stop', true), setfield(m, 'description', 3), ...
                setfield(m, 'sources', 'c'), setfield(m, 'sources', struct('name', 1, 'type', 'clock')), ...
                setfield(m, 'sources', struct('name', 'c', 'type', 'sundial')), ...
                setfield(m, 'sources', struct('name', 'c', 'type', 'constant', 'value', 1 + 2i)), ...
                setfield(m, 'sources', struct('name', 'c', 'type', 'constant', 'value', @sin)), ...
                setfield(m, 'sources', struct('name', 'c', 'type', 'constant', 'value', ['ab'; 'cd'])), ...
                setfield(m, 'sources', struct('name', 'c', 'type', 'matrix', 'time', [0; NaN], 'values', [1; 2])), ...
                setfield(m, 'sources', struct('name', 'c', 'type', 'matrix', 'time', [1; 0], 'values', [1; 2])), ...
                setfield(m, 'sources', struct('name', 'c', 'type', 'matrix', 'time', [0; 1], 'values', [1 2 3])), ...
                setfield(m, 'sources', struct('name', 'c', 'type', 'matrix', 'time', [0; 1], 'values', [1; 2], 'columns', {{'a', 'b'}})), ...
                setfield(m, 'sources', struct('name', 'c', 'type', 'matrix', 'time', 'x', 'values', [1; 2])), ...
                setfield(m, 'sources', struct('name', 'c', 'type', 'matrix', 'time', zeros(0, 2^40), 'values', [1; 2])), ...
                setfield(m, 'sources', struct('name', 'c', 'type', 'matrix', 'time', [0; 1], 'values', zeros(0, 2^40))), ...
                setfield(m, 'sources', struct('name', 'c', 'type', 'matrix', 'time', [0; 1], 'values', [1; -Inf])), ...
                setfield(m, 'blocks', struct('name', 'w', 'type', 'wait', 'parameters', {{0, 0, 0, 0, 0, Inf}})), ...
                setfield(m, 'blocks', struct('name', 'b', 'type', '../../bin/sh')), ...
                setfield(m, 'blocks', struct('name', 'b', 'type', 'heliopose')), ...
                setfield(m, 'blocks', struct('name', 'b', 'type', 'atmoglow', 'parameters', {{1}}, 'inputs', {{'c'}})), ...
                setfield(m, 'blocks', struct('name', 'b', 'type', 'simrun')), ...
                setfield(m, 'sinks', struct('type', 'workspace', 'signals', {{'c', 'c'}})), ...
                setfield(m, 'sinks', struct('type', 'workspace', 'signals', 3))};
  for k = 1:numel(bad_models)
    [id, msg] = failure(@() simrun(bad_models{k}));
    if (isempty(regexp(id, '^simblocks:simrun:', 'once')))
      fail('bad model argument %d: no identified error (%s "%s")', k, id, msg);
    end
  end
  bad_options = {{'Start'}, {3, 4}, {'Colour', 1}, {'Step', 'x'}, {'Step', NaN}, {'Stop', [1 2]}, ...
                 {'OutputDir', 5}, {'Progress', 'yes'}};
  for k = 1:numel(bad_options)
    [id, msg] = failure(@() simrun(m, bad_options{k}{:}));
    if (! strcmp(id, 'simblocks:simrun:args'))
      fail('bad option %d: %s "%s"', k, id, msg);
    end
  end
  bad_calls = {{'atmoglow'}, {5, {1}, 0, [1 2 3]}, {'no_such', {}, 0, 1}, {'../atmoglow', {1}, 0, [1 2 3]}, ...
               {'atmoglow', @sin, 0, [1 2 3]}, {'atmoglow', {}, 0, [1 2 3]}, {'atmoglow', {1}, [0; NaN], [1 2 3; 1 2 3]}, ...
               {'atmoglow', {1}, [1; 0], [1 2 3; 1 2 3]}, {'atmoglow', {1}, [0; 1], [1 2 3]}, ...
               {'atmoglow', {1}, [0; 1], [1 2; 1 2]}, {'atmoglow', {1}, [0; 1], {[1 2 3; 1 2 3], [1; 2]}}, ...
               {'atmoglow', {1}, [0; 1], 'abc'}, {'atmoglow', {1}, [0 1; 2 3], [1 2 3]}, ...
               {'atmoglow', {1}, 1i, [1 2 3]}, {'heliopose', {}, 0, 1}, {'simblock', {}, 0, 1}, ...
               {'printer', {}, zeros(0, 1), zeros(0, 2^40)}, {'wait', {0, 0, 0, 0, 0, Inf}, [0; 1]}};
  for k = 1:numel(bad_calls)
    [id, msg] = failure(@() simblock(bad_calls{k}{:}));
    if (isempty(regexp(id, '^simblocks:simblock:', 'once')))
      fail('bad simblock call %d: no identified error (%s "%s")', k, id, msg);
    end
  end
  [id, msg] = failure(@two_outputs_of_one_port);
  if (! strcmp(id, 'simblocks:simblock:args'))
    fail('more outputs than ports: %s "%s"', id, msg);
  end
end

function two_outputs_of_one_port()
  [a, b] = simblock('atmoglow', {1}, 0, [1 2 3]);
end

function kb = resident_kb()
  status = fileread('/proc/self/status');
  kb = str2double(regexp(status, 'VmRSS:\s*(\d+)', 'tokens', 'once'){1});
end

% A thousand runs, failing and not, in this process: memory stays flat, and
% no file stays open after a run that failed while writing one.
function check_memory()
  m = struct('stop', 600, 'step', 60, 'sources', struct('name', 'c', 'type', 'clock'));
  m.blocks = struct('name', 'sky', 'type', 'atmoglow', 'parameters', {{1}}, 'inputs', {{{'c', 'c', 'c'}}});
  bad = setfield(m, 'blocks', struct('name', 'h', 'type', 'heliohour', 'parameters', {{15, []}}, 'inputs', {{'c'}}));
  bad.sinks = struct('type', 'csv', 'file', 'failing.csv', 'signals', {{'c'}});
  for k = 1:100
    simrun(m);
    failure(@() simrun(bad));
  end
  before = resident_kb();
  files = numel(dir('/proc/self/fd'));
  for k = 1:1000
    out = simrun(m);
    failure(@() simrun(bad));
    y = simblock('atmoglow', {1}, (1:10)', ones(10, 3));
  end
  growth = resident_kb() - before;
  if (numel(dir('/proc/self/fd')) != files)
    fail('files left open: %d before the runs, %d after', files, numel(dir('/proc/self/fd')));
  end
  printf('octave_simrun: resident memory grew by %d kB over 1000 runs\n', growth);
  if (growth > 2048)
    fail('memory grew by %d kB over 1000 runs', growth);
  end
end
