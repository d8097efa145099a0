% slopegain from Octave: the table's shape and edge cases, the progress
% lines, the argument count and the refused inputs.
function octave_slopegain()
  % One progress line per slope, the degree sign in UTF-8.
  printed = evalc('g = slopegain(6, 47.4, 8.5, 15, 0.55, 1, 0.2);');
  lines = strsplit(printed(1:end-1), "\n");
  assert(numel(lines) == 37, 'one line per slope');
  degree = char([194 176]);
  assert(strcmp(lines{1}, ['slope 0' degree]) && strcmp(lines{37}, ['slope 90' degree]), 'first and last line');
  assert(strcmp(lines{5}, ['slope 10' degree]), 'slope 10');

  assert(isequal(size(g), [37 37]), 'a 37 x 37 table');
  assert(max(abs(g(1, :) - 1)) < 1e-9, 'slope 0 sees the horizontal');
  assert(g(37, 37) < 0.5 && g(37, 37) > 0.1 && g(37, 1) > g(37, 37), 'north-facing wall gets little');
  assert(all(g(:) >= 0), 'no negative ratio');

  % Month selection.
  year = quiet(0, 45);
  assert(isequal(quiet(0.5, 45), year) && isequal(quiet(-3, 45), year), 'months below 1 select the year');
  assert(isequal(quiet(6.9, 45), quiet(6, 45)), 'the month is truncated');
  assert(~isequal(quiet(6, 45), year), 'one month differs from the year');

  % All-zero tables: polar night, no clearness, a NaN month.
  assert(isequal(quiet(12, 90), zeros(37)), 'polar night');
  assert(isequal(evalc_table(0, 45, 0), zeros(37)), 'clearness 0');
  assert(isequal(quiet(NaN, 45), zeros(37)), 'NaN month');

  % Wrong argument count: a printed line and no output.
  printed = evalc('slopegain(1, 2, 3, 4, 5, 6);');
  assert(strcmp(printed, sprintf('error: not 7 arguments\n')), printed);
  assert(no_output(@() slopegain(1, 2, 3, 4, 5, 6)), 'no output for six arguments');

  % Inputs it cannot read: a printed line, no output, nothing computed.
  bad = {[], zeros(0, 3), int32(6), single(6), true, '6', 6 + 1i, sparse(6), sparse(0)};
  for k = 1:numel(bad)
    for position = [1 5 7]
      args = {6, 45, 0, 0, 0.5, 1, 0.2};
      args{position} = bad{k};
      printed = evalc('slopegain(args{:});');
      assert(strcmp(printed, sprintf('error: argument %d is not a non-empty real double\n', position)), printed);
      assert(no_output(@() slopegain(args{:})), 'no output for a refused input');
    end
  end
  printed = evalc('slopegain(816, 45, 0, 0, 0.5, 1, 0.2);');
  assert(strcmp(printed, sprintf('error: month out of range (at most 815)\n')), printed);
  disp('octave_slopegain: all passed');
end

function g = quiet(month, latitude)
  g = evalc_table(month, latitude, 0.5);
end

function g = evalc_table(month, latitude, clearness)
  evalc('g = slopegain(month, latitude, 0, 0, clearness, 1, 0.2);');
end

% Whether the call returns no value: assigning its result fails with
% Octave's own error for that ("value on right hand side of assignment is
% undefined"), not with an error the call raised.
function yes = no_output(f)
  yes = false;
  try
    evalc('x = f();');
  catch err
    yes = isempty(err.identifier) && ~isempty(strfind(err.message, 'undefined'));
  end
end
