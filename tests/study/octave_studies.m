% Studies from Octave: studyread against a table written here by hand
% (every kind of cell), simstudy against the program run from a shell on
% the same study (and its options passed through), a summary scale against the unscaled column, the errors
% of bad input, and Ctrl-C: a real octave-cli in a process group of its
% own, running simstudy, gets SIGINT as a terminal sends it (to the whole
% group); the program must record the runs under way as stopped and
% simstudy must end with simblocks:simstudy:interrupted.
function octave_studies()
  source = getenv('SIMBLOCKS_SOURCE_DIR');
  build = getenv('SIMBLOCKS_BINARY_DIR');
  folder = tempname();
  mkdir(folder);
  cleanup = onCleanup(@() remove_folder(folder));

  table_round_trip(folder);
  program_and_octave_agree(source, build, folder);
  ctrl_c_stops_the_study(source, build, folder);
  disp('octave_studies: all passed');
end

% A table with text and numeric columns, quoted cells (a comma, a doubled
% quote, a line end), empty summary cells and numbers at the ends of the
% double range: every cell comes back, numbers as the doubles written.
function table_round_trip(folder)
  dir = fullfile(folder, 'table');
  mkdir(dir);
  text = ['run,sources.weather.file,blocks.roof.parameters[1],status,seconds,message,roof_kWh.integral,"a,b.max"' "\n" ...
          '1,"x,1.epw",0.30000000000000004,ok,0.25,,1356.1,-2.5e-300' "\n" ...
          '2,"say ""hi"".epw",15,failed,1.5,"block ''roof'': bad' "\n" 'line",,' "\n" ...
          '3,plain.epw,-0,ok,3,,nan,inf' "\n"];
  fid = fopen(fullfile(dir, 'study.csv'), 'w');
  fputs(fid, text);
  fclose(fid);
  [t, names] = studyread(dir);
  assert(isequal(fieldnames(t)', {'run', 'sources_weather_file', 'blocks_roof_parameters_1_', 'status', 'seconds', ...
                                  'message', 'roof_kWh_integral', 'a_b_max'}), 'valid field names, in order');
  assert(strcmp(names.blocks_roof_parameters_1_, 'blocks.roof.parameters[1]') && strcmp(names.a_b_max, 'a,b.max'), ...
         'the original names kept');
  assert(isequal(t.run, [1; 2; 3]) && isequal(t.seconds, [0.25; 1.5; 3]), 'numbers');
  assert(isequal(t.sources_weather_file, {'x,1.epw'; 'say "hi".epw'; 'plain.epw'}), 'text with a comma and quotes');
  % 0.30000000000000004 is 0.1 + 0.2 in doubles; -0 keeps its sign.
  tilt = t.blocks_roof_parameters_1_;
  assert(tilt(1) == 0.1 + 0.2 && tilt(2) == 15 && tilt(3) == 0 && 1 / tilt(3) == -Inf, 'varied numbers exactly');
  assert(isequal(t.status, {'ok'; 'failed'; 'ok'}), 'status');
  assert(isequal(t.message, {''; ["block 'roof': bad" "\n" 'line']; ''}), 'a message over two lines');
  assert(t.roof_kWh_integral(1) == 1356.1 && isnan(t.roof_kWh_integral(2)) && isnan(t.roof_kWh_integral(3)), 'summary');
  assert(t.a_b_max(1) == -2.5e-300 && isnan(t.a_b_max(2)) && t.a_b_max(3) == Inf, 'summary extremes');

  % Bad input: each an error with its identifier.
  assert(strcmp(caught(@() studyread(folder)), 'simblocks:studyread:noTable'), 'a folder without a table');
  assert(strcmp(caught(@() studyread(fullfile(folder, 'nothere'))), 'simblocks:studyread:noTable'), 'no folder');
  assert(strcmp(caught(@() studyread(3)), 'simblocks:studyread:args'), 'not a text');
  bad = fullfile(folder, 'bad');
  mkdir(bad);
  fid = fopen(fullfile(bad, 'study.csv'), 'w');
  fputs(fid, "a,b\n1,2\n");
  fclose(fid);
  assert(strcmp(caught(@() studyread(bad)), 'simblocks:studyread:badTable'), 'not a study table');
end

% A small study: a roof for three days at the two shipped weather files
% and two tilts. The program run from a shell and simstudy from Octave
% give the same table (all but the seconds); the scaled column is the
% unscaled one times the scale (up to rounding: the scale applies to each
% value before the sum).
function program_and_octave_agree(source, build, folder)
  study = write_study(source, folder, 'small', 3 * 86400, 900);
  program = fullfile(build, 'bin', 'simstudy');
  a = fullfile(folder, 'by_program');
  [status, out] = system(sprintf('''%s'' run ''%s'' -o ''%s'' -j 2 2>&1', program, study, a));
  assert(status == 0, ['the program: ' out]);
  [ta, na] = studyread(a);
  [tb, nb] = simstudy(study, fullfile(folder, 'by_octave'), 'Jobs', 2);
  assert(isequal(na, nb), 'the same columns');
  for f = fieldnames(ta)'
    if ~strcmp(f{1}, 'seconds')
      assert(isequaln(ta.(f{1}), tb.(f{1})), ['column ' f{1}]);
    end
  end
  assert(numel(ta.run) == 4 && all(strcmp(ta.status, 'ok')), 'four ok runs');
  assert(iscell(ta.sources_weather_file) && isnumeric(ta.blocks_roof_parameters_1_), 'text and numeric columns');
  assert(strcmp(na.roof_kWh_m2_integral, 'roof_kWh_m2.integral'), 'the named column');
  scaled = ta.roof_integral * 2.7777777777777776e-07;
  assert(all(abs(ta.roof_kWh_m2_integral ./ scaled - 1) < 1e-12), 'scale applied before the statistics');
  % Three January days at 42 N and 45 N bring a few kWh/m2 to a roof
  % (about 1 to 2 kWh/m2 a day), not the millions of J/m2 of the integral.
  assert(all(ta.roof_kWh_m2_integral > 0.5 & ta.roof_kWh_m2_integral < 20), 'kWh/m2 of three winter days');

  % Bad input: a scale that is no finite number, bad options.
  bad = write_study(source, folder, 'badscale', 3600, 900, '"x"');
  [~, id, message] = caught(@() simstudy(bad, fullfile(folder, 'bad_out')));
  assert(strcmp(id, 'simblocks:simstudy:study') && ~isempty(strfind(message, '''scale'' must be a finite number')), message);
  assert(strcmp(caught(@() simstudy(study, fullfile(folder, 'x'), 'Jobs', 0)), 'simblocks:simstudy:args'), 'Jobs 0');
  assert(strcmp(caught(@() simstudy(study, fullfile(folder, 'x'), 'Speed', 1)), 'simblocks:simstudy:args'), 'unknown option');
  assert(strcmp(caught(@() simstudy(study)), 'simblocks:simstudy:args'), 'no folder');

  % 'Files' reaches the program as --files: a word it does not take is its
  % refusal; 'none' gives the same table.
  [~, id, message] = caught(@() simstudy(study, fullfile(folder, 'files_bad'), 'Files', 'some'));
  assert(strcmp(id, 'simblocks:simstudy:args') && ~isempty(strfind(message, '--files takes all, failed or none')), message);
  tn = simstudy(study, fullfile(folder, 'files_none'), 'Files', 'none', '-j', 1);
  assert(isequal(tn.roof_kWh_m2_integral, ta.roof_kWh_m2_integral), 'Files none: the same table');
end

% Ctrl-C: SIGINT to the process group of a real octave-cli running
% simstudy (with the program and its workers in the same group, as under a
% terminal).
function ctrl_c_stops_the_study(source, build, folder)
  study = write_study(source, folder, 'long', 31536000, 1);  % a year at 1 s steps: minutes per run
  dir = fullfile(folder, 'long_out');
  result = fullfile(folder, 'result.txt');
  pgid_file = fullfile(folder, 'pgid.txt');
  script = fullfile(folder, 'child.sh');
  code = sprintf(['addpath(''%s''); try, simstudy(''%s'', ''%s'', ''Jobs'', 1); r = ''finished''; ' ...
                  'catch err, r = err.identifier; end; f = fopen(''%s'', ''w''); fputs(f, r); fclose(f);'], ...
                 fullfile(build, 'octave'), study, dir, result);
  fid = fopen(script, 'w');
  fprintf(fid, 'echo $$ > ''%s''\nexec ''%s'' --no-gui --norc --no-history --quiet --eval "%s"\n', pgid_file, ...
          fullfile(OCTAVE_HOME(), 'bin', 'octave-cli'), code);
  fclose(fid);
  % setsid: a session and process group of its own, led by the shell that
  % becomes octave-cli, so that the signal reaches it and its children only.
  system(sprintf('setsid sh ''%s'' > ''%s'' 2>&1 < /dev/null &', script, fullfile(folder, 'child.log')));
  % Wait for a run under way: the folder it writes in (a worker's folder
  % under work/, or the run's own under runs/ in a study folder of the older
  % layout).
  under_way = @() numel(glob({fullfile(dir, 'work', '*'), fullfile(dir, 'runs', '*')})) > 0;
  assert(wait_for(@() under_way() && exist(pgid_file, 'file'), 120), ...
         'the study did not start');
  pgid = str2double(fileread(pgid_file));
  assert(pgid > 1, 'a process group');
  % Should the test fail on the way, the group must not run on for minutes.
  stray = onCleanup(@() kill(-pgid, SIG().KILL));
  kill(-pgid, SIG().INT);  % to the whole group, as a terminal's Ctrl-C
  assert(wait_for(@() exist(result, 'file') && ~isempty(fileread(result)), 120), ...
         ['octave-cli did not end: ' fileread(fullfile(folder, 'child.log'))]);
  id = fileread(result);
  assert(strcmp(id, 'simblocks:simstudy:interrupted'), ['simstudy ended with "' id '": ' fileread(fullfile(folder, 'child.log'))]);
  % The program saw the signal: the run under way is recorded as stopped,
  % where it stopped, and the table says so.
  t = studyread(dir);
  stopped = strcmp(t.status, 'stopped');
  assert(any(stopped), 'a run recorded as stopped');
  assert(all(strncmp(t.message(stopped), 'stopped by SIGINT', 17)), ['why: ' t.message{find(stopped, 1)}]);
end

% Writes a study of a roof model (the two weather files, two tilts) over
% stop seconds at the given step; scale the summary's scale (a JSON text).
function study = write_study(source, folder, name, stop, step, scale)
  if nargin < 6
    scale = '2.7777777777777776e-07';
  end
  weather = fullfile(source, 'examples', 'data', 'weather');
  model = fullfile(folder, [name '_model.json']);
  fid = fopen(model, 'w');
  fprintf(fid, ['{"start": 0, "stop": %d, "step": %d,\n' ...
                ' "sources": [{"name": "clock", "type": "clock"},\n' ...
                '   {"name": "weather", "type": "epw", "file": "%s",\n' ...
                '    "fields": ["global_horizontal_radiation", "direct_normal_radiation", "diffuse_horizontal_radiation"]}],\n' ...
                ' "blocks": [{"name": "roof", "type": "planeflux", "parameters": [35, 0, ' ...
                '{"source": "weather", "site": "latitude"}, {"source": "weather", "site": "longitude"}, ' ...
                '{"source": "weather", "site": "longitude_timezone"}, 0.2, "perez"],\n' ...
                '   "inputs": ["clock", ["weather[global_horizontal_radiation]", "weather[direct_normal_radiation]", ' ...
                '"weather[diffuse_horizontal_radiation]"]]}]}\n'], ...
          stop, step, fullfile(weather, 'USA_IL_Chicago-OHare.725300_TMY3.epw'));
  fclose(fid);
  study = fullfile(folder, [name '.json']);
  fid = fopen(study, 'w');
  fprintf(fid, ['{"model": "%s",\n' ...
                ' "vary": [{"set": "sources.weather.file", "values": ["%s", "%s"]},\n' ...
                '          {"set": "blocks.roof.parameters[1]", "values": [0, 35]}],\n' ...
                ' "summary": [{"signal": "roof", "stats": ["integral"], "scale": %s, "name": "roof_kWh_m2"},\n' ...
                '             {"signal": "roof", "stats": ["integral", "max"]}]}\n'], ...
          model, fullfile(weather, 'USA_IL_Chicago-OHare.725300_TMY3.epw'), ...
          fullfile(weather, 'PVGIS_tmy_45.000_8.000_2005_2023.epw'), scale);
  fclose(fid);
end

function remove_folder(folder)
  confirm_recursive_rmdir(false);
  rmdir(folder, 's');
end

% Polls the condition every 0.1 s until it holds or the seconds are over.
function ok = wait_for(condition, seconds)
  deadline = time() + seconds;
  ok = condition();
  while ~ok && time() < deadline
    pause(0.1);
    ok = condition();
  end
end

function [id, identifier, message] = caught(f)
  try
    f();
  catch err
    id = err.identifier;
    identifier = id;
    message = err.message;
    return;
  end
  error('an error was expected');
end
