% folderscan against Octave's dir on one folder, side by side in one run, and
% against the floor of returning a structure array of as many records.
%   folderscan_vs_dir(folder)      (the folder is filled with 100000 files
%                                   when it holds fewer)
function folderscan_vs_dir(folder)
  n = 100000;
  make_folder(folder, n);
  runs = 3;
  t_scan = inf; t_dir = inf; t_floor = inf;
  for k = 1:runs
    tic; s = folderscan(folder); t_scan = min(t_scan, toc);
    tic; d = dir(folder); t_dir = min(t_dir, toc);
    tic; f = structfloor(numel(s)); t_floor = min(t_floor, toc);
  end
  if numel(s) ~= numel(d)
    error('folderscan listed %d entries, dir %d', numel(s), numel(d));
  end
  printf('entries: %d (best of %d runs)\n', numel(s), runs);
  printf('Octave dir:            %8.3f s\n', t_dir);
  printf('folderscan:            %8.3f s\n', t_scan);
  printf('struct floor:          %8.3f s\n', t_floor);
  printf('dir / folderscan:      %8.1f   (goal >= 12)  %s\n', t_dir / t_scan, verdict(t_dir / t_scan >= 12));
  printf('folderscan / floor:    %8.2f   (goal <= 1.5) %s\n', t_scan / t_floor, verdict(t_scan / t_floor <= 1.5));
end

function make_folder(folder, n)
  if exist(folder, 'dir') && numel(readdir(folder)) >= n + 2
    return;
  end
  [status, out] = system(sprintf('mkdir -p ''%s'' && cd ''%s'' && seq -f ''file_%%06g.dat'' 0 %d | xargs touch', ...
                                 folder, folder, n - 1));
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
