% Peak resident memory (MB) that one call adds, in this Octave process:
%   folderscan_peak('folderscan', folder)   or   folderscan_peak('structfloor', n)
% prints "peak <MB> entries <n>". Meant for a fresh octave-cli (Linux: it
% resets the process's peak through /proc/self/clear_refs).
function folderscan_peak(fn, arg)
  f = fopen('/proc/self/clear_refs', 'w');
  fprintf(f, '5');
  fclose(f);
  base = status_kb('VmRSS');
  s = feval(fn, arg);
  printf('peak %.1f entries %d\n', (status_kb('VmHWM') - base) / 1024, numel(s));
end

function v = status_kb(key)
  tok = regexp(fileread('/proc/self/status'), [key ':\s+(\d+) kB'], 'tokens', 'once');
  v = str2double(tok{1});
end
