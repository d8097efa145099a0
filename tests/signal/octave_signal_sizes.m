% The sizes call of degreeswap, printer and tablogger from Octave.
function octave_signal_sizes()
  flags = 2 + hex2dec('880000');   % ports registered, common declaration flags

  s = degreeswap([], [], [], 0, 1, 3);
  expect_sizes(s, [2 3 6], 7, 2, 8192, flags, 'degreeswap');
  % A bad unit stops the declaration after the check; the vector still comes back.
  s = degreeswap([], [], [], 0, 0, 3);
  expect_sizes(s, [], 7, 2, 8192, 0, 'degreeswap, bad initial unit');
  s = degreeswap([], [], [], 0, 1, []);
  expect_sizes(s, [], 7, 2, 8192, 0, 'degreeswap, empty final unit');
  s = degreeswap([], [], [], 0, 'C', 'K');
  expect_sizes(s, [], 7, 2, 8192, 0, 'degreeswap, units as text');

  s = printer([], [], [], 0);
  expect_sizes(s, [2 3 6], 7, 0, 8192, flags, 'printer');
  s = printer([], [], [], 0, 1);
  expect_sizes(s, [], 7, 0, 8192, 0, 'printer, one parameter');

  s = tablogger([], [], [], 0, 1, 'log.txt');
  expect_sizes(s, [2 3 6], 7, 2, 8192, flags, 'tablogger');
  s = tablogger([], [], [], 0, 1);
  expect_sizes(s, [], 7, 2, 8192, 0, 'tablogger, one parameter');
  disp('octave_signal_sizes: all passed');
end

% Elements (counted from 0) in ones_at equal 1, element pidx equals params,
% 19 the version tag, 23 the options word, 31 the flags word, every other
% element 0.
function expect_sizes(s, ones_at, pidx, params, options, flags, what)
  assert(isequal(size(s), [38 1]), [what ': sizes vector must be 38 x 1']);
  expected = zeros(38, 1);
  expected(ones_at + 1) = 1;
  expected(pidx + 1) = params;
  expected(20) = 5200229;
  expected(24) = options;
  expected(32) = flags;
  if ~isequal(s, expected)
    error('%s: sizes differ at elements %s', what, mat2str(find(s ~= expected)' - 1));
  end
end
