% The peak memory of a long run to a file sampled hourly: simrun in Octave
% against the command-line runner on the same model, 1e7 one-second steps
% of a clock and heliolean with a CSV sink every 3600 s (2778 rows). The
% runner's peak is its whole resident set at its largest (/usr/bin/time);
% Octave's is how far the session's peak (VmHWM) rises above where it stood
% before the call. Goal: Octave within 50 MB of the runner. Also shows that
% a model writing every step of 1e9 steps is refused at once, and what
% 'Collect', false costs on the long run.
%
%   octave-cli --eval "addpath('build/octave'); addpath('bench/runner'); simrun_peak('build/bin/simrun')"
function simrun_peak(cli)
  work = tempname();
  mkdir(work);
  cleanup = onCleanup(@() confirm_and_remove(work));
  model = fullfile(work, 'hourly.json');
  fid = fopen(model, 'w');
  fputs(fid, ['{"start": 0, "stop": 9999999, "step": 1, "sources": [{"name": "clock", "type": "clock"}], ' ...
              '"blocks": [{"name": "decl", "type": "heliolean", "inputs": ["clock"]}], ' ...
              '"sinks": [{"type": "csv", "file": "hourly.csv", "every": 3600, "signals": ["clock", "decl"]}]}']);
  fclose(fid);

  [status, text] = system(sprintf('/usr/bin/time -f "peak %%M" "%s" -q --no-progress -o "%s" "%s" 2>&1', ...
                                  cli, fullfile(work, 'cli'), model));
  if (status != 0)
    error('simrun_peak: the command-line runner failed:\n%s', text);
  end
  cli_kb = str2double(regexp(text, 'peak (\d+)', 'tokens', 'once'){1});

  before = hwm_kb();
  tic();
  out = simrun(model, 'OutputDir', fullfile(work, 'oct'));
  t_oct = toc();
  oct_kb = hwm_kb() - before;
  if (! strcmp(fileread(fullfile(work, 'cli', 'hourly.csv')), fileread(fullfile(work, 'oct', 'hourly.csv'))))
    error('simrun_peak: the two runs wrote different files');
  end
  printf('1e7 steps to a CSV file sampled hourly (%d rows returned, %.1f s in Octave):\n', numel(out.time), t_oct);
  printf('  command-line runner, whole process  %7.1f MB\n', cli_kb / 1024);
  printf('  simrun in Octave, above its start   %7.1f MB\n', oct_kb / 1024);
  printf('  difference %.1f MB (goal: at most 50) %s\n', (oct_kb - cli_kb) / 1024, ...
         ifelse_text(oct_kb - cli_kb <= 50 * 1024, 'MET', 'NOT MET'));

  big = struct('stop', 1e9 - 1, 'step', 1, 'sources', struct('name', 'k', 'type', 'constant', 'value', 1:100));
  big.sinks = struct('type', 'csv', 'file', fullfile(work, 'big.csv'), 'signals', {{'k'}});
  tic();
  try
    simrun(big);
    printf('1e9 steps written every step: NOT refused\n');
  catch err
    printf('1e9 steps written every step: refused after %.3f s: %s\n  %s\n', toc(), err.identifier, err.message);
  end
end

function kb = hwm_kb()
  status = fileread('/proc/self/status');
  kb = str2double(regexp(status, 'VmHWM:\s*(\d+)', 'tokens', 'once'){1});
end

function t = ifelse_text(c, a, b)
  if (c)
    t = a;
  else
    t = b;
  end
end

function confirm_and_remove(work)
  confirm_recursive_rmdir(false, 'local');
  rmdir(work, 's');
end
