% tiltflux against the same formulas as vectorised Octave code
% (tiltflux_octave), over a year of hourly rows (8760: the Chicago O'Hare
% typical year of examples/, the sun from heliopose at the middle of each
% hour, a south facade), model by model, side by side in this Octave
% session. Prints each model's CPU times (best of several rounds of
% repeated calls; everything runs on this one thread, so CPU time is the
% fair measure on a busy machine) and the ratio next to the goal.
function tiltflux_vs_octave(source_dir)
  goal = 5;
  rounds = 5;
  reps = 40;
  w = weatherread(fullfile(source_dir, 'examples', 'data', 'weather', 'USA_IL_Chicago-OHare.725300_TMY3.epw'));
  s = w.site;
  [~, ~, zen, az, ~] = heliopose(w.interval_time, s.latitude, s.longitude, s.longitude_timezone);
  args = {90, 0, zen, az, w.direct_normal_radiation, w.diffuse_horizontal_radiation, ...
          w.global_horizontal_radiation, heliokit(w.interval_time, 0, 0, 0, 1), 0.2};
  printf('tiltflux over %d hourly rows against vectorised Octave (goal >= %gx each)\n', numel(zen), goal);
  all_met = true;
  for model = {'isotropic', 'haydavies', 'reindl', 'klucher', 'perez'}
    m = model{1};
    [a{1:4}] = tiltflux(m, args{:});
    [b{1:4}] = tiltflux_octave(m, args{:});
    d = max(cellfun(@(x, y) max(abs(x - y)), a, b));
    best = inf(1, 2);
    for r = 1:rounds
      c = cputime;
      for k = 1:reps
        [a{1:4}] = tiltflux(m, args{:});
      end
      best(1) = min(best(1), (cputime - c) / reps);
      c = cputime;
      for k = 1:reps
        [b{1:4}] = tiltflux_octave(m, args{:});
      end
      best(2) = min(best(2), (cputime - c) / reps);
    end
    ratio = best(2) / best(1);
    if ratio >= goal
      verdict = 'met';
    else
      verdict = 'NOT met';
      all_met = false;
    end
    printf('  %-9s  tiltflux %6.3f ms, vectorised Octave %6.3f ms: ratio %5.1fx (goal >= %gx): %s; largest difference %.2g W/m2\n', ...
           m, 1000 * best, ratio, goal, verdict, d);
  end
  if all_met
    disp('goal met for every model');
  else
    disp('goal NOT met for every model');
  end
end
