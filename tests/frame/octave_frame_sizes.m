% The sizes call and its messages from Octave, a MEX host of its own.
function octave_frame_sizes()
  id = 'MEX level2 S-function "atmoglow"';

  s = atmoglow([], [], [], 0, 7);
  expected = zeros(38, 1);
  expected([3 4 7 8] ) = 1;        % output ports, input ports, sample times, parameters
  expected(20) = 5200229;
  expected(24) = 8194;
  expected(32) = 2;
  assert(isequal(size(s), [38 1]), 'sizes vector must be 38 x 1');
  assert(isequal(s, expected), 'sizes vector with the parameter');

  s = atmoglow([], [], [], 0);
  expected = zeros(38, 1);
  expected(8) = 1;
  expected(20) = 5200229;
  expected(24) = 8192;
  assert(isequal(s, expected), 'sizes vector without the parameter');

  % Called without output: the vector still comes back as ans.
  atmoglow([], [], [], 0, 7);
  assert(numel(ans) == 38);

  expect_error(@() atmoglow([], [], []), [id ' must be called with at least 4 right hand arguments'], ...
               'simblocks:atmoglow:tooFewInputs');
  expect_error(@() two_outputs(), [id ' called with too many left hand arguments'], 'simblocks:atmoglow:tooManyOutputs');
  flagmsg = ['The 4th right hand argument, FLAG, passed to ' id ' must be an integer'];
  flagid = 'simblocks:atmoglow:flagNotInteger';
  expect_error(@() atmoglow([], [], [], [0 0]), flagmsg, flagid);
  expect_error(@() atmoglow([], [], [], 1i), flagmsg, flagid);
  expect_error(@() atmoglow([], [], [], '0'), flagmsg, flagid);
  expect_error(@() atmoglow([], [], [], {0}), flagmsg, flagid);
  expect_error(@() atmoglow([], [], [], 0.5), flagmsg, flagid);
  expect_error(@() atmoglow([], [], [], NaN), flagmsg, flagid);
  expect_error(@() atmoglow([], [], [], 3), ['Invalid flag passed to ' id], 'simblocks:atmoglow:invalidFlag');

  % Every block raises the frame's errors under its own name.
  blocks = {'heliolean', 'heliohour', 'topflux', 'planeflux', 'atmoglow', 'sashflow', 'pump', 'stampin', 'stampout', ...
            'yearelapsed', 'calendarnow', 'clocknow', 'wait', 'wallpulse', 'degreeswap', 'printer', 'tablogger'};
  for k = 1:numel(blocks)
    f = str2func(blocks{k});
    blockid = ['MEX level2 S-function "' blocks{k} '"'];
    expect_error(@() f([], [], []), [blockid ' must be called with at least 4 right hand arguments'], ...
                 ['simblocks:' blocks{k} ':tooFewInputs']);
    expect_error(@() f([], [], [], -1), ['Invalid flag passed to ' blockid], ['simblocks:' blocks{k} ':invalidFlag']);
  end

  % A two-row reference with a wrong version tag is no engine instance.
  s = atmoglow([], [1; 5200228], [], 0, 7);
  assert(s(24) == 8194);
  disp('octave_frame_sizes: all passed');
end

function two_outputs()
  [a, b] = atmoglow([], [], [], 0, 7);
end

function expect_error(f, msg, id)
  try
    f();
  catch err
    % Octave prefixes a MEX error with the function's name.
    if isempty(strfind(err.message, msg))
      error('expected "%s", got "%s"', msg, err.message);
    end
    if ~strcmp(err.identifier, id)
      error('expected the identifier "%s", got "%s"', id, err.identifier);
    end
    return;
  end
  error('expected the error "%s"', msg);
end
