% heliopose against the same formulas as vectorised Octave code, over one
% million times at one site, side by side in this Octave session. Prints the
% CPU times (best of several runs; everything runs on this one thread, so CPU
% time is the fair measure on a busy machine) and the ratio next to the goal. The goal is
% measured against heliopose_octave, the formulas transcribed function by
% function; the ratio against heliopose_octave_fused, which shares the
% year-angle sines and cosines by hand as heliopose does, is shown beside it.
function heliopose_vs_octave()
  goal = 2;
  n = 1e6;
  runs = 7;
  t = linspace(-86400, 31536000, n)';
  site = {47.4, 8.5, 15};

  [r{1:5}] = heliopose(t, site{:});
  [a{1:5}] = heliopose_octave(t, site{:});
  [b{1:5}] = heliopose_octave_fused(t, site{:});
  printf('largest difference to heliopose: transcribed %.3g, fused %.3g degrees\n', ...
         largest_difference(r, a), largest_difference(r, b));

  best = inf(1, 3);
  for k = 1:runs
    c = cputime; [r{1:5}] = heliopose(t, site{:}); best(1) = min(best(1), cputime - c);
    c = cputime; [a{1:5}] = heliopose_octave(t, site{:}); best(2) = min(best(2), cputime - c);
    c = cputime; [b{1:5}] = heliopose_octave_fused(t, site{:}); best(3) = min(best(3), cputime - c);
  end
  printf('CPU time over %d times: heliopose %.1f ms, vectorised Octave %.1f ms (fused by hand %.1f ms)\n', ...
         n, 1000 * best);
  ratio = best(2) / best(1);
  if ratio >= goal
    verdict = 'met';
  else
    verdict = 'NOT met';
  end
  printf('ratio %.2fx (goal >= %gx): %s; against the hand-fused code %.2fx\n', ratio, goal, verdict, best(3) / best(1));
end

function d = largest_difference(x, y)
  d = 0;
  for k = 1:5
    both = ~isnan(x{k}) & ~isnan(y{k});
    if any(isnan(x{k}) ~= isnan(y{k}))
      d = inf;
    end
    d = max([d; abs(x{k}(both) - y{k}(both))]);
  end
end
