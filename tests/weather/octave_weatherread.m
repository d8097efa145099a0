% weatherread from Octave: the Chicago file as arrays against its text and
% against the model runner reading the same file (simrun); the example
% script of examples/ built on it; and the hostile calls of the robustness
% page (each an error with its identifier; never a crash or a hang).
function octave_weatherread()
  source = getenv('SIMBLOCKS_SOURCE_DIR');
  file = fullfile(source, 'examples', 'data', 'weather', 'USA_IL_Chicago-OHare.725300_TMY3.epw');
  w = weatherread(file);
  assert(isstruct(w) && isequal(size(w), [1 1]), 'a 1 x 1 structure');
  assert(isequal(w.time, 3600 * (1:8760)') && isequal(w.interval_time, w.time - 1800), 'hourly times');

  % The file's own text, read here: dry bulb (field 7) and global
  % horizontal radiation (field 14) of every row.
  text = fileread(file);
  rows = strsplit(strtrim(text), "\n")(9:end);
  fields = cellfun(@(r) str2double(strsplit(r, ','))([7 14 33]), rows, 'UniformOutput', false);
  fields = vertcat(fields{:});
  assert(isequal(w.dry_bulb_temperature, fields(:, 1)), 'dry bulb temperature as written');
  assert(isequal(w.global_horizontal_radiation, fields(:, 2)), 'global horizontal radiation as written');
  % The albedo (field 33): NaN where the file has its missing-value code 999.
  missing = fields(:, 3) >= 999;
  assert(any(missing) && ~all(missing), 'the file has missing and present albedos');
  assert(isequal(isnan(w.albedo), missing) && isequal(w.albedo(~missing), fields(~missing, 3)), 'the albedo: NaN where 999, else as written');
  assert(strcmp(w.units.global_horizontal_radiation, 'Wh/m2'), 'units');
  assert(strcmp(w.site.name, 'Chicago Ohare Intl Ap') && w.site.longitude == 87.92 ...
         && w.site.longitude_timezone == 90, 'site in the toolbox conventions');

  % simrun reads the same file the same way: instantaneous fields at the
  % row's time, radiation at the middle of its hour, linear in between.
  m = struct('start', 3600, 'stop', 2 * 86400, 'step', 3600);
  m.sources = struct('name', 'tmy', 'type', 'epw', 'file', file, ...
                     'fields', {{'dry_bulb_temperature', 'global_horizontal_radiation'}});
  m.sinks = struct('type', 'workspace', 'signals', {{'tmy'}});
  out = simrun(m);
  k = (1:48)';
  assert(isequal(out.tmy(:, 1), w.dry_bulb_temperature(k)), 'simrun: dry bulb at the rows');
  mid = (w.global_horizontal_radiation(k) + w.global_horizontal_radiation(k + 1)) / 2;
  assert(max(abs(out.tmy(:, 2) - mid)) < 1e-9, 'simrun: radiation between two half hours');

  % The example script: annual irradiation on a building at Chicago.
  addpath(fullfile(source, 'examples'));
  [annual, names] = annual_irradiation();
  assert(isequal(names, {'horizontal', 'south', 'east', 'west', 'north', 'roof 40 S'}), 'the example names its planes');
  % The horizontal plane sees the file's own global irradiance (the sun of
  % the toolbox's formulas is not the file's, hence a tolerance of 2 %).
  assert(abs(annual(1) / (sum(w.global_horizontal_radiation) / 1000) - 1) < 0.02, 'horizontal: the global irradiance');
  % At 42 degrees north: the south facade gets more than east and west, and
  % those more than the north; east and west alike; the roof tilted toward
  % the sun more than the horizontal.
  assert(annual(2) > max(annual(3:4)) && min(annual(3:4)) > annual(5), 'south > east, west > north');
  assert(abs(annual(3) / annual(4) - 1) < 0.1, 'east and west alike');
  assert(annual(6) > 1.05 * annual(1) && annual(6) < 1.25 * annual(1), 'the roof gains on the horizontal');

  hostile_calls(source);
  disp('octave_weatherread: all passed');
end

% Bad input: each call ends with its error and identifier, Octave goes on.
function hostile_calls(source)
  folder = tempname();
  mkdir(folder);
  cleanup = onCleanup(@() remove_folder(folder));
  broken = fullfile(folder, 'broken.epw');
  lines = strsplit(fileread(fullfile(source, 'examples', 'data', 'weather', 'PVGIS_tmy_45.000_8.000_2005_2023.epw')), "\n");
  fid = fopen(broken, 'w');
  fprintf(fid, '%s\n', lines{1:12});
  fprintf(fid, '%s\n', strrep(lines{13}, ',', ';'));
  fclose(fid);
  fid = fopen(fullfile(folder, 'empty.epw'), 'w');
  fclose(fid);
  calls = {
    {},                                        'wrongInputCount';
    {'a', 'b'},                                'wrongInputCount';
    {42},                                      'notText';
    {{'a.epw'}},                               'notText';
    {['ab'; 'cd']},                            'notText';
    {struct('file', 'a')},                     'notText';
    {int8([97 98])},                           'notText';
    {char([97 0 98])},                         'notText';
    {''},                                      'cannotOpen';
    {fullfile(folder, 'none.epw')},            'cannotOpen';
    {folder},                                  'cannotOpen';
    {repmat('x', 1, 5000)},                    'cannotOpen';
    {fullfile(folder, 'empty.epw')},           'badFile';
    {broken},                                  'badFile';
  };
  if exist('/dev/zero', 'file')
    calls(end + 1, :) = {{'/dev/zero'}, 'cannotOpen'};   % a device: never read to the end
  end
  for k = 1:rows(calls)
    [id, msg] = caught(@() weatherread(calls{k, 1}{:}));
    assert(strcmp(id, ['simblocks:weatherread:' calls{k, 2}]), sprintf('hostile call %d: got "%s" (%s)', k, id, msg));
  end
  [id, msg] = caught(@() weatherread(broken));
  assert(! isempty(strfind(msg, 'line 13')), msg);
  [id, msg] = caught(@() two_outputs());
  assert(strcmp(id, 'simblocks:weatherread:wrongOutputCount'), id);
end

function remove_folder(folder)
  confirm_recursive_rmdir(false, 'local');
  rmdir(folder, 's');
end

function two_outputs()
  [a, b] = weatherread('x.epw');
end

function [id, msg] = caught(f)
  id = '';
  msg = '';
  try
    f();
  catch err
    id = err.identifier;
    msg = err.message;
    return;
  end
  error('an error was expected');
end
