% folderscan against Octave's dir on one folder, side by side in one run,
% against find plus the floor of returning a structure array of as many
% records from a MEX file element by element, and its peak memory against
% the result's own size, on that folder and on one of a million entries
% (each in a fresh Octave).
%   folderscan_vs_dir(folder)              (the folder is filled with 100000
%   folderscan_vs_dir(folder, million)      files, the second with a million,
%                                           when they hold fewer)
function folderscan_vs_dir(folder, million)
  n = 100000;
  make_folder(folder, n);
  runs = 3;
  t_scan = inf; t_dir = inf; t_floor = inf; t_find = inf;
  for k = 1:runs
    tic; s = folderscan(folder); t_scan = min(t_scan, toc);
    tic; d = dir(folder); t_dir = min(t_dir, toc);
    tic; f = structfloor(numel(s)); t_floor = min(t_floor, toc);
    tic; system(sprintf('find ''%s'' -maxdepth 1 > /dev/null', folder)); t_find = min(t_find, toc);
  end
  if numel(s) ~= numel(d)
    error('folderscan listed %d entries, dir %d', numel(s), numel(d));
  end
  printf('entries: %d (best of %d runs)\n', numel(s), runs);
  printf('Octave dir:            %8.3f s\n', t_dir);
  printf('folderscan:            %8.3f s\n', t_scan);
  printf('struct floor:          %8.3f s\n', t_floor);
  printf('find:                  %8.3f s\n', t_find);
  printf('dir / folderscan:      %8.1f   (goal >= 12)  %s\n', t_dir / t_scan, verdict(t_dir / t_scan >= 12));
  printf('folderscan / floor:    %8.2f   (goal <= 1.5) %s\n', t_scan / t_floor, verdict(t_scan / t_floor <= 1.5));
  r = t_scan / (t_find + t_floor);
  printf('folderscan / (find + floor): %5.2f (goal <= 1.25) %s\n', r, verdict(r <= 1.25));
  if nargin < 2
    return;
  end
  make_folder(million, 1000000);
  paths = sprintf('addpath(''%s''); ', fileparts(which('folderscan')), fileparts(which('structfloor')), ...
                  fileparts(mfilename('fullpath')));
  printf('peak memory of one call against the size of its result (goal <= 1.3):\n');
  for where = {folder, million}
    scan = peak_of(sprintf('%sfolderscan_peak(''folderscan'', ''%s'')', paths, where{1}));
    floor = peak_of(sprintf('%sfolderscan_peak(''structfloor'', %d)', paths, scan(3)));
    printf('  %7d entries: folderscan peak %5.0f MB, result %5.0f MB, ratio %4.2f %s; structure floor peak %5.0f MB, result %5.0f MB\n', ...
           scan(3), scan(1), scan(2), scan(1) / scan(2), verdict(scan(1) / scan(2) <= 1.3), floor(1), floor(2));
  end
end

% [peak MB, own MB, entries] reported by folderscan_peak in a fresh Octave.
function v = peak_of(code)
  [status, out] = system(sprintf('octave-cli --no-gui --norc --no-history --quiet --eval "%s"', code));
  v = sscanf(regexp(out, 'peak \S+ own \S+ entries \d+', 'match', 'once'), 'peak %f own %f entries %d');
  if status ~= 0 || numel(v) ~= 3
    error('could not measure: %s', out);
  end
end

% The files are named as bench_folderscan names them (file_000000.dat, six
% digits for 100000 files, seven for a million), so that either benchmark
% finds the folder the other made.
function make_folder(folder, n)
  if exist(folder, 'dir') && numel(readdir(folder)) >= n + 2
    return;
  end
  digits = 6 + (n >= 1000000);
  [status, out] = system(sprintf('mkdir -p ''%s'' && cd ''%s'' && seq -f ''file_%%0%dg.dat'' 0 %d | xargs touch', ...
                                 folder, folder, digits, n - 1));
  if status ~= 0
    error('could not fill %s: %s', folder, out);
  end
end

function s = verdict(ok)
  if ok
    s = 'met';
  else
    s = 'NOT met';
  end
end
