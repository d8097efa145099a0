% folderscan from Octave, compared field by field with Octave's own dir.
function octave_folderscan()
  setenv('TZ', 'CET-1CEST,M3.5.0,M10.5.0/3');
  % No '-' in the name: a folder argument holding "-r" is the recursive switch.
  top = tempname(tempdir(), 'folderscan_');
  mkdir(top);
  cleanup = onCleanup(@() remove_tree(top));
  base = fullfile(top, 'base');
  mkdir(base);
  mkdir(fullfile(base, 'sub'));
  write_file(fullfile(base, 'a.txt'), 10);
  write_file(fullfile(base, 'B.TXT'), 0);
  write_file(fullfile(base, 'with space.txt'), 3);
  write_file(fullfile(base, 'noon.dat'), 1);
  write_file(fullfile(base, 'sub', 'inner.m'), 5);
  shell(sprintf('truncate -s 5000000000 ''%s''', fullfile(base, 'huge')));
  % Whole-second times (dir counts whole seconds only); folders last, as
  % creating entries changes their times.
  stamp(fullfile(base, 'a.txt'), '2019-03-04 05:06:07');
  stamp(fullfile(base, 'B.TXT'), '2021-07-15 23:30:00');
  stamp(fullfile(base, 'with space.txt'), '1999-12-31 23:59:59');
  stamp(fullfile(base, 'noon.dat'), '2000-01-01 12:00:00');
  stamp(fullfile(base, 'huge'), '2024-02-29 00:00:01');
  stamp(fullfile(base, 'sub', 'inner.m'), '2010-10-10 10:10:10');
  stamp(fullfile(base, 'sub'), '2011-11-11 11:11:11');
  stamp(base, '2012-12-12 12:12:12');
  stamp(top, '2013-01-13 13:13:13');

  d = dir(base);
  f = folderscan(base);
  assert(isstruct(f), 'result must be a structure array');
  assert(isequal(fieldnames(f), {'name'; 'date'; 'bytes'; 'isdir'; 'datenum'}), 'field names or order');
  assert(isequal(size(f), [numel(d) 1]), 'result must be N x 1 with one record per entry of dir');
  for i = 1:numel(d)
    j = find(strcmp({f.name}, d(i).name));
    assert(numel(j) == 1, 'entry %s listed %d times', d(i).name, numel(j));
    r = f(j);
    assert(ischar(r.date) && strcmp(r.date, d(i).date), '%s: date %s, dir says %s', d(i).name, r.date, d(i).date);
    assert(isa(r.bytes, 'double') && r.bytes == d(i).bytes, '%s: bytes %d, dir says %d', d(i).name, r.bytes, d(i).bytes);
    assert(islogical(r.isdir) && r.isdir == d(i).isdir, '%s: isdir', d(i).name);
    assert(abs(r.datenum - d(i).datenum) <= 1e-8, '%s: datenum %.10f, dir says %.10f', d(i).name, r.datenum, d(i).datenum);
  end

  noon = f(strcmp({f.name}, 'noon.dat'));
  assert(strcmp(noon.date, '01-Jan-2000 12:00:00'), 'noon date %s', noon.date);
  assert(noon.datenum == 730486.5, 'noon datenum %.10f', noon.datenum);
  assert(f(strcmp({f.name}, 'huge')).bytes == 5000000000, '5000000000-byte file');

  % Patterns: case-blind after the star, unlike dir's glob.
  t = folderscan(fullfile(base, '*.txt'));
  assert(isequal(sort({t.name}), sort({'a.txt', 'B.TXT', 'with space.txt'})), 'pattern *.txt');
  dt = dir(fullfile(base, '*.txt'));
  assert(all(ismember({dt.name}, {t.name})), 'every entry of dir(*.txt) is found');

  % Recursive, with the path below the start folder in the name.
  m = folderscan(base, '-r', '*.m');
  assert(isequal({m.name}, {'sub/inner.m'}), 'recursive *.m');

  % Nothing listed: 0 x 1 with the five fields.
  e = folderscan(fullfile(base, '*.none'));
  assert(isequal(size(e), [0 1]) && isequal(fieldnames(e), fieldnames(f)), 'empty result shape');

  % A numeric argument is skipped with the message; the rest is used.
  out = evalc('n = folderscan(base, 3, ''a.txt'');');
  msg = 'One or more inputs could not be understood. Please verify that all inputs are strings or cell strings.';
  assert(~isempty(strfind(out, msg)), 'message for a numeric argument');
  assert(isequal({n.name}, {'a.txt'}), 'listing goes on after a skipped argument');

  disp('octave_folderscan: all passed');
end

function write_file(path, bytes)
  fid = fopen(path, 'w');
  fwrite(fid, repmat('x', 1, bytes));
  fclose(fid);
end

function stamp(path, when)
  shell(sprintf('touch -m -d ''%s'' ''%s''', when, path));
end

function shell(command)
  [status, out] = system(command);
  if status ~= 0
    error('%s failed: %s', command, out);
  end
end

function remove_tree(path)
  confirm_recursive_rmdir(false, 'local');
  rmdir(path, 's');
end
