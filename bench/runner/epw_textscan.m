% Octave's textscan on a weather file, the way a script reads one: the eight
% header lines skipped, then the 35 comma-separated fields of every row (the
% sixth a text). Prints the best processor time of 'runs' reads in seconds
% on a line of its own: "textscan <seconds> <rows>".
function epw_textscan(file, runs)
  fmt = ['%f%f%f%f%f%s' repmat('%f', 1, 29)];
  best = inf;
  rows = 0;
  for k = 1:runs
    t0 = cputime;
    fid = fopen(file, 'r');
    c = textscan(fid, fmt, 'Delimiter', ',', 'HeaderLines', 8);
    fclose(fid);
    best = min(best, cputime - t0);
    rows = numel(c{7});
  end
  printf('textscan %.6f %d\n', best, rows);
end
