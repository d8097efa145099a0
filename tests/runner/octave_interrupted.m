% Long calls of simrun, simblock and folderscan for octave_interrupt_test,
% which sends this Octave process a real SIGINT (Ctrl-C) during each: every
% call prints "ready <name>" as it starts and "caught <name> <identifier>
% <message>" when it ends with an error ("finished <name>" if it ran to its
% end). Then, to show the session goes on, each function is called once more
% and "later <answers>" printed. Files are written into the folder 'work'.
function octave_interrupted(work)
  cd(work);

  % simrun: 3e7 one-second steps, each writing a CSV row and a tablogger row.
  m = struct('stop', 3e7, 'step', 1, 'sources', struct('name', 'clock', 'type', 'clock'));
  m.blocks = struct('name', {'d', 'log'}, 'type', {'heliolean', 'tablogger'}, ...
                    'parameters', {[], {0, 'log.txt'}}, 'inputs', {'clock', {{'clock', 'clock'}}});
  m.sinks = struct('type', {'csv', 'workspace'}, 'file', {'rows.csv', []}, 'every', {[], 1e6}, ...
                   'signals', {{'clock', 'd'}, 'd'});
  long_call('simrun', @() simrun(m));

  % simblock: wait holds each row for a minute of the wall clock.
  long_call('simblock', @() simblock('wait', {0, 0, 0, 0, 0, 60}, (0:60:600)'));

  % folderscan: 1000 files, each tried against 200000 patterns that match
  % none (some 15 s in all).
  mkdir('many');
  system('cd many && seq -f ''file_%04g.dat'' 1 1000 | xargs touch');
  long_call('folderscan', @() folderscan('many', repmat({'*.none'}, 1, 200000)));

  % The session goes on: each function works again.
  small = setfield(m, 'stop', 2);
  small.blocks = m.blocks(1);
  small.sinks = struct('type', 'workspace', 'signals', {{'d'}});
  out = simrun(small);
  y = simblock('heliolean', {}, [0; 1], [0; 1]);
  f = folderscan('many', 'file_0001.dat');
  printf('later %d %d %s\n', numel(out.d), numel(y), f.name);
end

function long_call(name, f)
  printf('ready %s\n', name);
  fflush(stdout);
  try
    f();
    printf('finished %s\n', name);
  catch err
    printf('caught %s %s %s\n', name, err.identifier, err.message);
  end
  fflush(stdout);
end
