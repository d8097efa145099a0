% The sizes call of sashflow and pump from Octave.
function octave_weather_sizes()
  flags = 2 + hex2dec('880000');   % ports registered, common declaration flags

  s = sashflow([], [], [], 0, 10, 1.2, 0.8);
  expect_sizes(s, [2 3 6], 1, 7, 3, 8192, flags, 'sashflow');
  % Without its three parameters sashflow declares nothing past the count.
  s = sashflow([], [], [], 0, 10);
  expect_sizes(s, [], 1, 7, 3, 8192, 0, 'sashflow, one parameter');

  s = pump([], [], [], 0);
  expect_sizes(s, [2 3 6], 1, 7, 0, 8194, flags, 'pump');
  s = pump([], [], [], 0, 5);
  expect_sizes(s, [], 1, 7, 0, 8192, 0, 'pump, one parameter');
  disp('octave_weather_sizes: all passed');
end

% Elements (counted from 0) in ones_at equal 'one', element 'pidx' equals
% 'params', 19 the version tag, 23 the options word, 31 the flags word,
% every other element 0.
function expect_sizes(s, ones_at, one, pidx, params, options, flags, what)
  assert(isequal(size(s), [38 1]), [what ': sizes vector must be 38 x 1']);
  expected = zeros(38, 1);
  expected(ones_at + 1) = one;
  expected(pidx + 1) = params;
  expected(20) = 5200229;
  expected(24) = options;
  expected(32) = flags;
  if ~isequal(s, expected)
    error('%s: sizes differ at elements %s', what, mat2str(find(s ~= expected)' - 1));
  end
end
