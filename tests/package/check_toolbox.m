% Checks an installed toolbox in the running Octave: for each of the
% twenty-three deliverables and for simrun and simblock, that a call runs
% its MEX file from the installation under prefix, that help prints its help
% file and that the file holds comments
% only; that Contents.m lists all twenty-three and carries the package version;
% then each block's sizes call and calls of the six functions with
% results worked out here from the formulas. Raises an error at the first
% fault.
function check_toolbox(prefix, source_dir)
  blocks = {'heliolean', 'heliohour', 'topflux', 'planeflux', 'atmoglow', 'sashflow', 'pump', ...
            'stampin', 'stampout', 'yearelapsed', 'calendarnow', 'clocknow', 'wait', ...
            'wallpulse', 'degreeswap', 'printer', 'tablogger'};
  functions = {'heliopose', 'heliokit', 'slopegain', 'folderscan', 'tiltflux', 'weatherread'};
  runners = {'simrun', 'simblock'};
  names = [blocks, functions, runners];
  for k = 1:numel(names)
    check_files_and_help(names{k}, prefix);
  end
  % The study functions are m-files of the toolbox.
  for name = {'studyread', 'simstudy'}
    assert(strncmp(which(name{1}), prefix, numel(prefix)), [name{1} ': not the installed m-file']);
  end
  check_contents([names, {'studyread', 'simstudy'}], source_dir);
  check_block_sizes();
  check_heliopose();
  check_heliokit();
  check_slopegain();
  check_folderscan();
  check_tiltflux();
  check_weatherread(prefix);
  check_runners(prefix);
  printf('check_toolbox: %d deliverables checked under %s\n', numel(names), prefix);
end

function check_files_and_help(name, prefix)
  mex_file = which(name);
  if (! strncmp(mex_file, prefix, numel(prefix)) || isempty(regexp(mex_file, '\.mex$', 'once')))
    error('%s: a call must run the installed MEX file, not "%s"', name, mex_file);
  end
  help_file = file_in_loadpath([name '.m']);
  if (isempty(help_file) || ! strncmp(help_file, prefix, numel(prefix)))
    error('%s: no installed help file', name);
  end
  lines = strsplit(fileread(help_file), "\n");
  for i = 1:numel(lines)
    t = strtrim(lines{i});
    if (! isempty(t) && t(1) != '%')
      error('%s: the help file must hold comments only, line %d is "%s"', name, i, t);
    end
  end
  text = evalc(['help ' name]);
  % The first line of the help file, its name in capitals, an example call.
  if (isempty(strfind(text, upper(name))) || isempty(strfind(text, 'Example')) ...
      || isempty(strfind(text, [name '('])))
    error('%s: help does not print the help file:\n%s', name, text);
  end
end

function check_contents(names, source_dir)
  contents = file_in_loadpath('Contents.m');
  text = get_help_text_from_file(contents);
  for k = 1:numel(names)
    if (isempty(regexp(text, ['\n\s+' names{k} '\s+- '], 'once')))
      error('Contents.m does not list %s', names{k});
    end
  end
  description = fileread(fullfile(source_dir, 'package', 'octave', 'DESCRIPTION'));
  version = regexp(description, 'Version:\s*(\S+)', 'tokens', 'once'){1};
  if (isempty(strfind(text, ['Version ' version])))
    error('Contents.m must carry the package version %s', version);
  end
end

% simrun and simblock drive the installed block files: stampout over the
% times of its help text, as one block and in a model built as a struct;
% the roof example from the installed examples folder.
function check_runners(prefix)
  t = [1; 3600.5; 5097601; 31536000];
  expected = [1 1 0 0 1; 1 1 1 0 0.5; 3 1 0 0 1; 12 31 24 0 0];
  assert(isequal(simblock('stampout', {}, t, t), expected), 'simblock stampout: wrong dates');
  m = struct('start', 1, 'stop', 3601, 'step', 3600, 'sources', struct('name', 'clock', 'type', 'clock'));
  m.blocks = struct('name', 'date', 'type', 'stampout', 'inputs', {{'clock'}});
  out = simrun(m);
  assert(isequal(out.time, [1; 3601]) && isequal(out.date, [1 1 0 0 1; 1 1 1 0 1]), 'simrun: wrong dates');
  roof = glob({fullfile(prefix, 'examples', 'roof.json'), fullfile(prefix, '*', 'examples', 'roof.json')});
  assert(numel(roof) == 1, 'the roof example is not installed');
  out = simrun(roof{1}, 'OutputDir', tempname());
  % The signals at the rows its CSV sink writes: a day, every 600 s.
  assert(numel(out.time) == 86400 / 600 + 1 && all(isfinite(out.sky)), 'simrun: the roof example does not run');
end

% The sizes vector of each block called from the command line, built here
% from each block's declaration: parameters expected, input and output
% ports, integer work width, options word and whether the common
% declaration flags are made.
function check_block_sizes()
  common = hex2dec('880000');
  %        name          parameters given           expected ins outs iwork options flags
  cases = {'heliolean',   {},                       0, 1, 1, 0, 2, common;
           'heliohour',   {-15, -10},               2, 1, 1, 0, 2, common;
           'topflux',     {},                       0, 1, 1, 0, 2, common;
           'planeflux',   {90, 0, 42, 88, 90, 0.2, 'perez'}, 7, 2, 2, 0, 2, common;  % real work 8
           'atmoglow',    {0},                      1, 1, 1, 0, 2, 0;
           'sashflow',    {10, 1.2, 0.8},           3, 1, 1, 0, 0, common;
           'pump',        {},                       0, 1, 1, 0, 2, common;
           'stampin',     {},                       0, 1, 1, 0, 0, 0;
           'stampout',    {},                       0, 1, 1, 0, 0, common;
           'yearelapsed', {},                       0, 1, 1, 0, 0, common;
           'calendarnow', {1},                      1, 0, 1, 0, 0, common;
           'clocknow',    {},                       0, 0, 1, 0, 0, common;
           'wait',        {0, 0, 0, 0, 0, 1},       6, 0, 0, 0, 0, common;
           'wallpulse',   {5, 1},                   2, 1, 1, 2, 0, 0;
           'degreeswap',  {1, 3},                   2, 1, 1, 0, 0, common;
           'printer',     {},                       0, 1, 1, 0, 0, common;
           'tablogger',   {1, 'log.txt'},           2, 1, 1, 0, 0, common};
  for k = 1:rows(cases)
    [name, params, nparams, ins, outs, iwork, options, flags] = cases{k, :};
    sizes = feval(name, [], [], [], 0, params{:});
    expected = zeros(38, 1);
    expected(3) = outs;
    expected(4) = ins;
    expected(7) = 1;                  % one sample time
    expected(8) = nparams;
    expected(9) = iwork;
    expected(10) = 8 * strcmp(name, 'planeflux');  % its closure guard's tally and once-flag
    expected(20) = 5200229;           % version tag
    expected(24) = options + 8192;    % the frame adds 0x2000
    expected(32) = flags + 2;         % 0x2: port counts registered
    if (! isequal(sizes, expected))
      error('%s: sizes differ at elements %s (counted from 1)', name, mat2str(find(sizes != expected)'));
    end
  end
  % An invalid unit code stops degreeswap's declaration after the count.
  sizes = degreeswap([], [], [], 0, 4, 1);
  assert(sizes(8) == 2 && sizes(4) == 0 && sizes(3) == 0, 'degreeswap with code 4 must declare no ports');
  % The frame's own argument check, as the help files quote it.
  try
    heliolean([], [], []);
    error('heliolean with three arguments must fail');
  catch err
    % (Octave puts the name of the MEX function in front of its message.)
    assert(ends_with(err.message, 'MEX level2 S-function "heliolean" must be called with at least 4 right hand arguments'), ...
           ['unexpected message: ' err.message]);
  end
end

% Sun angles in degrees, written with the conversions of the degree
% functions: declination and equation of time as Fourier series in the
% year angle, hour angle 15 degrees per hour from solar noon.
function [dec, zen, az, ha] = sun_reference(t, lat, lon, lon_tz)
  w = 2 * pi * t / (365 * 86400);
  d = 0.006918 - 0.399912 * cos(w) + 0.070257 * sin(w) - 0.006758 * cos(2 * w) ...
      + 0.000907 * sin(2 * w) - 0.002679 * cos(3 * w) + 0.00148 * sin(3 * w);
  eot_minutes = 229.2 * (0.000075 + 0.001868 * cos(w) - 0.032077 * sin(w) ...
                         - 0.014615 * cos(2 * w) - 0.04089 * sin(2 * w));
  solar_hours = (t - 86400 * fix(t / 86400)) / 3600 + eot_minutes / 60 + (lon_tz - lon) / 15;
  ha = 15 * (solar_hours - 12);
  dec = rad2deg(d);
  zen = acosd(sind(lat) .* sind(dec) + cosd(lat) .* cosd(dec) .* cosd(ha));
  az = acosd((sind(lat) .* cosd(zen) - sind(dec)) ./ (cosd(lat) .* sind(zen)));
  az(ha < 0) = -az(ha < 0);
end

function check_heliopose()
  % 1 January 00:00 and 22 June at 08:00, 12:00 and 17:00, at 50 N, 10 E in
  % the zone of 15 E (longitudes west positive).
  t = [0, 172 * 86400 + [8 12 17] * 3600];
  [dec, alt, zen, az, ha] = heliopose(t, 50, -10, -15);
  [rdec, rzen, raz, rha] = sun_reference(t', 50, -10, -15);
  assert(isequal(size(dec), [4 1]) && isequal(size(az), [4 1]), 'heliopose: outputs must be 4-by-1 columns');
  assert(abs(dec(1) - (-23.057597845229232)) < 1e-12, 'heliopose: declination on 1 January');
  assert(max(abs([dec zen az ha] - [rdec rzen raz rha])(:)) < 1e-9, 'heliopose: angles differ from the formulas');
  assert(isequal(alt, 90 - zen), 'heliopose: altitude must be 90 - zenith');
  try
    evalc('[d0, a0] = heliopose(0, 50, 10, 15);');
    error('heliopose with two outputs must fail');
  catch err
    assert(! isempty(strfind(err.message, 'Need 5 output arguments')), ['unexpected message: ' err.message]);
  end
end

function check_heliokit()
  % 1367 W/m2 times the sum of the constant and cosine terms at t = 0.
  assert(abs(heliokit(0, 0, 10, 15, 1) - 1367 * (1.00011 + 0.034221 + 0.000719)) < 1e-9, 'heliokit mode 1');
  assert(abs(heliokit(0, 0, 10, 15, 2.4) - (-23.057597845229232)) < 1e-12, 'heliokit mode 2');
  % Equation of time on 1 January plus 240 s per degree of 15 - 10.
  assert(abs(heliokit(0, 0, 10, 15, 2.5) - (13752 * (0.000075 + 0.001868 - 0.014615) + 1200)) < 1e-9, ...
         'heliokit mode 3');
  t = (0:23) * 3600 + 100 * 86400;
  y = heliokit(t, 0, 0, 0, 2);
  assert(isequal(size(y), [1 24]), 'heliokit: a 1-by-24 time gives a 1-by-24 output');
  rdec = sun_reference(t, 0, 0, 0);
  assert(max(abs(y - rdec)) < 1e-12, 'heliokit: declinations differ from the formula');
  assert(isequal(heliokit(0, 0, 10, 15, 7), 0), 'heliokit: mode 7 gives 0');
  try
    heliokit(t, 0, [1; 2], 0, 1);
    error('heliokit with two vectors must fail');
  catch err
    assert(ends_with(err.message, 'ERROR in heliokit: only one input can be a vector'), ['unexpected message: ' err.message]);
  end
end

function check_slopegain()
  printed = evalc('G = slopegain(6, 50, -10, -15, 0.5, 1, 0.2);');
  lines = strsplit(strtrim(printed), "\n");
  assert(numel(lines) == 37 && strncmp(lines{1}, 'slope 0', 7) && strncmp(lines{37}, 'slope 90', 8), ...
         'slopegain: one line per slope, 0 to 90');
  assert(isequal(size(G), [37 37]), 'slopegain: 37-by-37 table');
  % A horizontal plane receives what the horizontal receives.
  assert(max(abs(G(1, :) - 1)) < 1e-9, 'slopegain: row 1 must be 1');
  assert(all(G(:) >= 0) && all(G(:) < 2), 'slopegain: ratios out of range');
  % In June at 50 N a wall facing south gets more than one facing north,
  % which still sees half the sky and the ground.
  assert(G(37, 1) > G(37, 37) && G(37, 37) > 0.2, 'slopegain: vertical planes');
  printed = evalc('slopegain(6, 50, -10)');
  assert(strcmp(printed, sprintf('error: not 7 arguments\n')), 'slopegain: wrong argument count message');
end

function check_folderscan()
  % No '-' in the name: a folder argument holding "-r" is the recursive switch.
  folder = tempname(tempdir(), 'folderscan_');
  mkdir(folder);
  cleanup = onCleanup(@() remove_folder(folder));
  mkdir(fullfile(folder, 'sub'));
  write_file(fullfile(folder, 'a.txt'), 'hello');
  write_file(fullfile(folder, 'b.dat'), 'x');
  write_file(fullfile(folder, 'sub', 'c.TXT'), 'abc');
  list = folderscan(folder, '*.txt');
  assert(isequal(size(list), [1 1]) && strcmp(list.name, 'a.txt') && list.bytes == 5 && ! list.isdir, ...
         'folderscan: one .txt file in the folder');
  assert(abs(list.datenum - now()) < 1, 'folderscan: datenum is the local time of the last write');
  list = folderscan([folder '/*.txt'], '-r');
  assert(isequal(sort({list.name}), {'a.txt', 'sub/c.TXT'}), 'folderscan: recursive listing with a pattern');
  list = folderscan(fullfile(folder, 'missing'));
  assert(isequal(size(list), [0 1]) && isequal(fieldnames(list), {'name'; 'date'; 'bytes'; 'isdir'; 'datenum'}), ...
         'folderscan: a missing folder gives an empty 0-by-1 structure array');
end

% A plane tilted 30 degrees to the south, the sun 30 degrees from the
% zenith due south: the rays fall square on, the beam is all of dni.
function check_tiltflux()
  c30 = sqrt(3) / 2;
  ghi = 800 * c30 + 100;
  [poa, beam, sky, ground] = tiltflux('isotropic', 30, 0, 30, 0, 800, 100, ghi, 1360, 0.2);
  assert(abs(beam - 800) < 1e-9 && abs(sky - 100 * (1 + c30) / 2) < 1e-9, 'tiltflux: beam and sky by hand');
  assert(abs(ground - ghi * 0.2 * (1 - c30) / 2) < 1e-9 && abs(poa - (beam + sky + ground)) < 1e-9, 'tiltflux: ground, total');
  % The horizontal plane gets the global irradiance, row by row.
  zen = [10; 50; 80];
  assert(max(abs(tiltflux('isotropic', 0, 0, zen, 0, 600, 90, 600 * cosd(zen) + 90, 1360, 0.2) ...
                 - (600 * cosd(zen) + 90))) < 1e-9, 'tiltflux: horizontal plane');
  try
    tiltflux('sunny', 30, 0, 30, 0, 800, 100, ghi, 1360, 0.2);
    error('tiltflux with an unknown model must fail');
  catch err
    assert(strcmp(err.identifier, 'simblocks:tiltflux:unknownModel'), ['unexpected error: ' err.identifier]);
  end
end

% The installed Chicago weather file: a year of hours, the site west of Greenwich.
function check_weatherread(prefix)
  epw = glob({fullfile(prefix, 'examples', 'data', 'weather', 'USA_IL_Chicago-OHare.725300_TMY3.epw'), ...
              fullfile(prefix, '*', 'examples', 'data', 'weather', 'USA_IL_Chicago-OHare.725300_TMY3.epw')});
  assert(numel(epw) == 1, 'the Chicago weather file is not installed');
  w = weatherread(epw{1});
  assert(isequal(w.time, 3600 * (1:8760)') && w.dry_bulb_temperature(1) == -12.2, 'weatherread: rows');
  assert(w.site.latitude == 41.98 && w.site.longitude == 87.92 && w.site.longitude_timezone == 90, 'weatherread: site');
  try
    weatherread(fullfile(prefix, 'no such file.epw'));
    error('weatherread of a missing file must fail');
  catch err
    assert(strcmp(err.identifier, 'simblocks:weatherread:cannotOpen'), ['unexpected error: ' err.identifier]);
  end
end

function write_file(name, text)
  fid = fopen(name, 'w');
  fputs(fid, text);
  fclose(fid);
end

function remove_folder(folder)
  confirm_recursive_rmdir(false, 'local');
  rmdir(folder, 's');
end

function yes = ends_with(text, tail)
  yes = numel(text) >= numel(tail) && strcmp(text(end - numel(tail) + 1:end), tail);
end
