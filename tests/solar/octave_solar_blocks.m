% The sizes call of the three solar blocks from Octave.
function octave_solar_blocks()
  blocks = {'heliolean', 0; 'topflux', 0; 'heliohour', 2};
  for k = 1:rows(blocks)
    name = blocks{k, 1};
    nparams = blocks{k, 2};
    f = str2func(name);
    params = num2cell(15 * ones(1, nparams));
    s = f([], [], [], 0, params{:});
    expected = zeros(38, 1);
    expected([3 4 7]) = 1;           % output ports, input ports, sample times
    expected(8) = nparams;
    expected(20) = 5200229;
    expected(24) = 2 + 8192;         % options 2 and the frame's bit
    expected(32) = 8912898;          % 0x880000 common declaration flags + 0x2 port registration
    assert(isequal(s, expected), [name ': sizes vector']);

    % One parameter too many: nothing is declared beyond the expected count.
    s = f([], [], [], 0, params{:}, 1);
    expected = zeros(38, 1);
    expected(8) = nparams;
    expected(20) = 5200229;
    expected(24) = 8192;
    assert(isequal(s, expected), [name ': sizes vector with a parameter too many']);

    id = ['MEX level2 S-function "' name '"'];
    expect_error(@() f([], [], []), name, [id ' must be called with at least 4 right hand arguments']);
    expect_error(@() f([], [], [], 3), name, ['Invalid flag passed to ' id]);
  end
  disp('octave_solar_blocks: all passed');
end

function expect_error(f, name, msg)
  try
    f();
  catch err
    % Octave prefixes a MEX error with the function's name.
    if ~strcmp(err.message, [name ': ' msg])
      error('expected "%s", got "%s"', msg, err.message);
    end
    return;
  end
  error('expected the error "%s"', msg);
end
