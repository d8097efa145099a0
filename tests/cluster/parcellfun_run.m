% One run of a sky-temperature model with cloud cover 'cover', its
% day/night correction on for odd ids (an override), writing run<id>.csv in
% 'folder'; for octave_parcellfun.
function out = parcellfun_run(cover, id, folder)
  t = (0:3600:2 * 86400)';
  T = 15 + 5 * sin(2 * pi * t / 86400);
  m = struct('start', 0, 'stop', 2 * 86400, 'step', 60);
  m.sources = struct('name', 'weather', 'type', 'matrix', 'time', t, ...
                     'values', [T, 70 + 0 * t, cover + 0 * t], 'columns', {{'T', 'RH', 'N'}});
  m.blocks = struct('name', 'sky', 'type', 'atmoglow', 'parameters', {{1}}, ...
                    'inputs', {{{'weather[T]', 'weather[RH]', 'weather[N]'}}});
  m.sinks = struct('type', {'workspace', 'csv'}, 'signals', {{'sky'}, {'sky', 'weather[N]'}}, ...
                   'file', {[], sprintf('run%d.csv', id)});
  out = simrun(m, 'OutputDir', folder, 'Set', {'blocks.sky.parameters[1]', mod(id, 2)});
end
