% Peak resident memory (MB) that one call adds, in this Octave process, and
% the result's own size:
%   folderscan_peak('folderscan', folder)   or   folderscan_peak('structfloor', n)
% prints "peak <MB> own <MB> entries <n>". The own size is what a second,
% identical result adds while the first is kept: the first call's scratch
% memory is free again by then, so the second call finds its scratch there
% and only its result takes new memory. Meant for a fresh octave-cli (Linux:
% it resets the process's peak through /proc/self/clear_refs).
function folderscan_peak(fn, arg)
  f = fopen('/proc/self/clear_refs', 'w');
  fprintf(f, '5');
  fclose(f);
  base = status_kb('VmRSS');
  s = feval(fn, arg);
  peak = status_kb('VmHWM') - base;
  held = status_kb('VmRSS');
  again = feval(fn, arg);
  own = status_kb('VmRSS') - held;
  printf('peak %.1f own %.1f entries %d\n', peak / 1024, own / 1024, numel(s));
end

function v = status_kb(key)
  tok = regexp(fileread('/proc/self/status'), [key ':\s+(\d+) kB'], 'tokens', 'once');
  v = str2double(tok{1});
end
