function out = room_week(weatherFile)
%ROOM_WEEK A winter week of the office room, built as a struct model.
%   room_week() runs the south-facing office room of
%   examples/chicago_year.json (examples/room/README.md derives its numbers)
%   through the week of 14 to 21 January at Chicago O'Hare with simrun, and
%   plots the outdoor air, the room's air and structure and the heater.
%   out = room_week() returns the workspace sink's signals instead of
%   plotting (time in seconds of the year; air, structure, outdoor, heater,
%   window_sun, heating_kwh). room_week(weatherFile) takes another weather
%   file (EnergyPlus format).
%
%   The model is a struct: sources, blocks (standard blocks such as sum,
%   gain, relay and statespace, and the toolbox's planeflux and sashflow),
%   a solver and a workspace sink. Matrices (the statespace's A, B, C, D)
%   are numeric matrices.
%
%   Run with the toolbox on the path (addpath('build/octave') in the
%   project, or pkg load simblocks), from any folder.
%
%   See also SIMRUN, PLANEFLUX, SASHFLOW.

  if nargin < 1 || isempty(weatherFile)
    weatherFile = fullfile(fileparts(mfilename('fullpath')), 'data', 'weather', ...
                           'USA_IL_Chicago-OHare.725300_TMY3.epw');
  end

  % The room (examples/room/README.md), W/K and J/K.
  C_air = 1200 * 60 + 10000 * 20;            % air and furniture
  C_m = 165000 * 20;                         % structure, medium class
  H_ve = 1200 * 0.3 * 60 / 3600;             % infiltration
  H_am = 1 / (1 / (3.45 * 90) + 1 / (9.1 * 50));   % air to structure
  H_em = 1 / (1 / (0.25 * 8) - 1 / (9.1 * 50));    % structure to outside
  A = [-(H_ve + H_am) / C_air, H_am / C_air; H_am / C_m, -(H_am + H_em) / C_m];
  B = [H_ve / C_air, 1 / C_air, 0; H_em / C_m, 0, 1 / C_m];

  m.start = 13 * 86400;                      % 14 January, 00:00
  m.stop = 20 * 86400;
  m.step = 600;
  m.solver = struct('method', 'bdf', 'rtol', 1e-6, 'atol', 1e-6);
  site = @(name) struct('source', 'weather', 'site', name);
  m.sources = {struct('name', 'clock', 'type', 'clock'), ...
               struct('name', 'setpoint', 'type', 'constant', 'value', 20), ...
               struct('name', 'window_area', 'type', 'constant', 'value', 4), ...
               struct('name', 'weather', 'type', 'epw', 'file', weatherFile, ...
                      'fields', {{'dry_bulb_temperature', 'global_horizontal_radiation', ...
                                  'direct_normal_radiation', 'diffuse_horizontal_radiation'}})};
  T_out = 'weather[dry_bulb_temperature]';
  b = {};
  b{end+1} = blk('window_sun', 'planeflux', ...
                 {90, 0, site('latitude'), site('longitude'), site('longitude_timezone'), 0.2, 'perez'}, ...
                 {'clock', {'weather[global_horizontal_radiation]', 'weather[direct_normal_radiation]', ...
                            'weather[diffuse_horizontal_radiation]'}});
  b{end+1} = blk('sun_through', 'product', {'**'}, {'window_sun', 'window_area'});
  b{end+1} = blk('solar_gain', 'gain', {0.432}, {'sun_through'});
  b{end+1} = blk('outdoor_minus_air', 'sum', {'+-'}, {T_out, 'room[1]'});
  b{end+1} = blk('window_ua', 'product', {'**'}, {'window_area', 'outdoor_minus_air'});
  b{end+1} = blk('window_loss', 'gain', {1.3}, {'window_ua'});
  b{end+1} = blk('setpoint_minus_air', 'sum', {'+-'}, {'setpoint', 'room[1]'});
  b{end+1} = blk('heater', 'relay', {0.5, -0.5, 1000, 0}, {'setpoint_minus_air'});
  b{end+1} = blk('warmth', 'expression', {'min(u1 - 24, u1 - u2)'}, {{'room[1]', T_out}});
  b{end+1} = blk('window_open', 'relay', {2, 0, 1, 0}, {'warmth'});
  b{end+1} = blk('airflow', 'sashflow', {10, 1.2, 1.0}, {{'room[1]', T_out, 'window_open'}});
  b{end+1} = blk('airflow_dt', 'product', {'**'}, {'airflow', 'outdoor_minus_air'});
  b{end+1} = blk('airing', 'gain', {1200}, {'airflow_dt'});
  b{end+1} = blk('sun_to_air', 'gain', {0.2}, {'solar_gain'});
  b{end+1} = blk('sun_to_mass', 'gain', {0.8}, {'solar_gain'});
  b{end+1} = blk('air_gains', 'sum', {'++++'}, {'heater', 'window_loss', 'airing', 'sun_to_air'});
  b{end+1} = blk('room', 'statespace', {A, B, eye(2), zeros(2, 3), [20 20]}, ...
                 {{T_out, 'air_gains', 'sun_to_mass'}});
  b{end+1} = blk('heater_kw', 'gain', {1 / 3.6e6}, {'heater'});
  b{end+1} = blk('heating_kwh', 'integrator', {0}, {'heater_kw'});
  m.blocks = b;
  m.sinks = {struct('type', 'workspace', 'every', 600, 'signals', ...
                    {{struct('signal', T_out, 'name', 'outdoor'), ...
                      struct('signal', 'room[1]', 'name', 'air'), ...
                      struct('signal', 'room[2]', 'name', 'structure'), 'heater', 'window_sun', 'heating_kwh'}})};

  out = simrun(m);
  printf('heating over the week: %.1f kWh\n', out.heating_kwh(end));
  if nargout > 0
    return;   % the numbers only
  end

  days = out.time / 86400 + 1;   % day of the year, 1 = 1 January
  subplot(2, 1, 1);
  plot(days, out.outdoor, days, out.air, days, out.structure);
  ylabel('temperature (degC)');
  legend('outdoor air', 'room air', 'room structure', 'location', 'southeast');
  title('An office room facing south, Chicago O''Hare, 14 to 21 January');
  subplot(2, 1, 2);
  plot(days, out.heater, days, out.window_sun);
  xlabel('day of the year');
  ylabel('W, W/m2');
  legend('heater (W)', 'sun on the window (W/m2)');
  clear out;
end

function s = blk(name, type, parameters, inputs)
  s = struct('name', name, 'type', type, 'parameters', {parameters}, 'inputs', {inputs});
end
