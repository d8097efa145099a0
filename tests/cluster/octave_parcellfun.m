% simrun from Octave's parcellfun (package parallel) with two processes:
% each call in a forked Octave process of its own, files written side by
% side (the function the processes call lives in its own file, since the
% package starts separate Octave processes that know only files on the
% path). The results must equal those of the same calls made one after
% another in this process, number for number. Exits with 77 (skipped) when
% the package is not installed.
function octave_parcellfun()
  try
    pkg('load', 'parallel');
  catch err
    printf('SKIP: Octave package parallel not available (Debian: octave-parallel): %s\n', err.message);
    exit(77);
  end
  work = tempname();
  mkdir(work);
  here = pwd();
  cleanup = onCleanup(@() finish(here, work));
  cd(work);

  % Eight runs of a sky-temperature model, each with its own cloud cover
  % and its own CSV file.
  covers = num2cell(linspace(0, 1, 8));
  ids = num2cell(1:8);
  seq = cellfun(@(n, id) parcellfun_run(n, id, 'seq'), covers, ids, 'UniformOutput', false);
  par = parcellfun(2, @(n, id) parcellfun_run(n, id, 'par'), covers, ids, ...
                   'UniformOutput', false, 'VerboseLevel', 0);
  for k = 1:numel(seq)
    if (!isequal(seq{k}.time, par{k}.time) || !isequal(seq{k}.sky, par{k}.sky))
      error('octave_parcellfun:fault', 'run %d: the parallel result differs from the sequential one', k);
    end
    a = fileread(fullfile(work, 'seq', sprintf('run%d.csv', k)));
    b = fileread(fullfile(work, 'par', sprintf('run%d.csv', k)));
    if (!strcmp(a, b))
      error('octave_parcellfun:fault', 'run %d: the CSV files of the two ways differ', k);
    end
  end
  % The runs are not all the same: cloud cover warms the sky.
  if (!(mean(seq{end}.sky) > mean(seq{1}.sky)))
    error('octave_parcellfun:fault', 'overcast sky not warmer than clear sky');
  end
  printf('octave_parcellfun: %d runs in two processes equal the sequential ones\n', numel(seq));
end

function finish(here, work)
  cd(here);
  confirm_recursive_rmdir(false, 'local');
  rmdir(work, 's');
end
