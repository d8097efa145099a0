% The sizes call of the seven time blocks from Octave.
function octave_time_sizes()
  ports = 2;                              % flags word bit: port counts registered
  common = ports + hex2dec('880000');     % with the common declaration flags

  % index (from 0): 2 outputs, 3 inputs, 6 sample times, 7 parameters, 8 integer work
  expect_sizes(stampin([], [], [], 0), [1 1 1 0 0], ports, 'stampin');
  expect_sizes(stampout([], [], [], 0), [1 1 1 0 0], common, 'stampout');
  expect_sizes(yearelapsed([], [], [], 0), [1 1 1 0 0], common, 'yearelapsed');
  expect_sizes(calendarnow([], [], [], 0, 1), [1 0 1 1 0], common, 'calendarnow');
  expect_sizes(clocknow([], [], [], 0), [1 0 1 0 0], common, 'clocknow');
  expect_sizes(wait([], [], [], 0, 0, 0, 0, 0, 0, 1), [0 0 1 6 0], common, 'wait');
  expect_sizes(wallpulse([], [], [], 0, 5, 1), [1 1 1 2 2], ports, 'wallpulse');

  % Another number of parameters stops the declaration after the expected count.
  expect_sizes(stampin([], [], [], 0, 1), [0 0 0 0 0], 0, 'stampin, one parameter');
  expect_sizes(calendarnow([], [], [], 0), [0 0 0 1 0], 0, 'calendarnow, no parameter');
  expect_sizes(wait([], [], [], 0, 1, 2), [0 0 0 6 0], 0, 'wait, two parameters');
  expect_sizes(wallpulse([], [], [], 0, 5), [0 0 0 2 0], 0, 'wallpulse, one parameter');
  disp('octave_time_sizes: all passed');
end

% decl = [outputs inputs sampletimes params iwork] at indices 2, 3, 6, 7, 8;
% 19 holds the version tag, 23 the options word (the frame's 0x2000 alone),
% 31 the flags word; every other element is 0.
function expect_sizes(s, decl, flags, what)
  assert(isequal(size(s), [38 1]), [what ': sizes vector must be 38 x 1']);
  expected = zeros(38, 1);
  expected([2 3 6 7 8] + 1) = decl;
  expected(20) = 5200229;
  expected(24) = 8192;
  expected(32) = flags;
  if ~isequal(s, expected)
    error('%s: sizes differ at elements %s', what, mat2str(find(s ~= expected)' - 1));
  end
end
