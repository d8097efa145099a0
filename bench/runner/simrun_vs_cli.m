% simrun and simblock in Octave against the command-line runner, measured
% side by side in one run (best of five each, taken in turns):
%   - a year of the roof model at 60-second steps (525601 steps; a year of
%     hourly weather, the example's blocks and CSV sink) through simrun, as
%     a script calls it (every signal returned at the CSV sink's rows, every
%     600 s, since the model has no workspace sink), against the
%     command-line runner on the same model file. Goal: at most 1.5 times
%     the runner's time.
%   - simblock on atmoglow over 525600 rows, per row, against the runner's
%     time per step for a model of that block alone (weather from the CSV
%     file, no sink). Goal: at most 1.5 times.
%
%   cmake --build <dir> --target bench_simrun_octave
function simrun_vs_cli(cli)
  work = tempname();
  mkdir(work);
  cleanup = onCleanup(@() confirm_and_remove(work));

  % A year of hourly weather, by the formulas of examples/data/make-data.sh
  % with a seasonal swing of the temperature added.
  h = (0:8760)';
  d = mod(h, 24);
  s = sin(2 * pi * (d - 9) / 24);
  T = round((9 - 8 * cos(2 * pi * h / 8760) + 8 * s) * 100) / 100;
  RH = round((70 - 25 * s) * 10) / 10;
  N = round((0.5 + 0.4 * sin(2 * pi * d / 24)) * 100) / 100;
  weather = fullfile(work, 'weather-year.csv');
  fid = fopen(weather, 'w');
  fprintf(fid, 'hour,T,RH,N\n');
  fprintf(fid, '%d,%.17g,%.17g,%.17g\n', [h T RH N]');
  fclose(fid);

  source = sprintf(['{"name": "weather", "type": "csv", "file": "%s", "time": "hour", "time_unit": "h", ' ...
                    '"columns": ["T", "RH", "N"]}'], weather);
  sky = '{"name": "sky", "type": "atmoglow", "parameters": [1], "inputs": [["weather[T]", "weather[RH]", "weather[N]"]]}';
  roof = write_model(work, 'roof-year.json', sprintf([ ...
    '{"start": 0, "stop": 31536000, "step": 60, "sources": [{"name": "clock", "type": "clock"}, %s], ' ...
    '"blocks": [{"name": "declination", "type": "heliolean", "inputs": ["clock"]}, ' ...
    '{"name": "solar_time", "type": "heliohour", "parameters": [-15, -8.55], "inputs": ["clock"]}, ' ...
    '{"name": "irradiance", "type": "topflux", "inputs": ["clock"]}, %s], ' ...
    '"sinks": [{"type": "csv", "file": "roof.csv", "every": 600, "signals": ["declination", "solar_time", ' ...
    '"irradiance", "weather[T]", "weather[RH]", "weather[N]", "sky"]}]}'], source, sky));
  alone = write_model(work, 'sky-year.json', sprintf( ...
    '{"start": 0, "stop": 31535940, "step": 60, "sources": [%s], "blocks": [%s]}', source, sky));

  run_cli = @(model) system(sprintf('"%s" -q --no-progress -o "%s" "%s"', cli, fullfile(work, 'cli'), model));
  [t_cli, t_oct] = best(@() run_cli(roof), @() simrun(roof, 'OutputDir', fullfile(work, 'oct')));
  if (! strcmp(fileread(fullfile(work, 'cli', 'roof.csv')), fileread(fullfile(work, 'oct', 'roof.csv'))))
    error('simrun_vs_cli: the two runs wrote different numbers');
  end
  printf('year of the roof model, 525601 steps:\n');
  printf('  command-line runner  %8.3f s\n  simrun in Octave     %8.3f s\n', t_cli, t_oct);
  printf('  ratio %.2f (goal: at most 1.5)\n', t_oct / t_cli);

  rows = 525600;
  t = (0:rows - 1)' * 60;
  u = [interp1(h * 3600, T, t) interp1(h * 3600, RH, t) interp1(h * 3600, N, t)];
  [t_alone, t_block] = best(@() run_cli(alone), @() simblock('atmoglow', {1}, t, u));
  printf('atmoglow alone, 525600 rows or steps:\n');
  printf('  command-line runner  %8.1f ns per step\n  simblock in Octave   %8.1f ns per row\n', ...
         t_alone / rows * 1e9, t_block / rows * 1e9);
  printf('  ratio %.2f (goal: at most 1.5)\n', t_block / t_alone);
end

function file = write_model(work, name, text)
  file = fullfile(work, name);
  fid = fopen(file, 'w');
  fputs(fid, text);
  fclose(fid);
end

% The best of five runs of each, taken in turns so that both see the same
% load on a shared machine.
function [ta, tb] = best(a, b)
  ta = Inf;
  tb = Inf;
  for k = 1:5
    tic();
    a();
    ta = min(ta, toc());
    tic();
    b();
    tb = min(tb, toc());
  end
end

function confirm_and_remove(work)
  confirm_recursive_rmdir(false, 'local');
  rmdir(work, 's');
end
