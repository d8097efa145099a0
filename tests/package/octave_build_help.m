% From the build folder, as from an installed toolbox: `help <name>` prints
% each deliverable's help file, which lies beside its MEX file, and so do
% simrun and simblock; `help simblocks` prints the overview, the study
% functions are there, and so is the examples folder the overview names.
function octave_build_help()
  names = {'heliolean', 'heliohour', 'topflux', 'planeflux', 'heliopose', 'heliokit', 'slopegain', 'tiltflux', ...
           'atmoglow', 'sashflow', 'pump', 'weatherread', 'stampin', 'stampout', 'yearelapsed', 'calendarnow', ...
           'clocknow', 'wait', 'wallpulse', 'degreeswap', 'printer', 'tablogger', 'folderscan', 'simrun', 'simblock'};
  build = fullfile(getenv('SIMBLOCKS_BINARY_DIR'), 'octave');
  sources = fullfile(getenv('SIMBLOCKS_SOURCE_DIR'), 'package', 'help');
  for k = 1:numel(names)
    name = names{k};
    assert(exist(fullfile(build, [name '.mex']), 'file') > 0, [name ': no MEX file in the build folder']);
    assert(exist(fullfile(build, [name '.m']), 'file') > 0, [name ': no help file beside the MEX file']);
    % The help file's first and last comment lines, as the source tree has them.
    lines = strsplit(fileread(fullfile(sources, [name '.m'])), "\n");
    lines = lines(~cellfun(@isempty, lines));
    text = help(name);
    for line = {lines{1}, lines{end}}
      expected = strtrim(line{1}(2:end));   % without the comment sign
      assert(~isempty(strfind(text, expected)), sprintf('%s: help lacks "%s"', name, expected));
    end
  end
  assert(~isempty(strfind(help('simblocks'), 'Simulation blocks for buildings')), 'help simblocks: the overview');
  for name = {'studyread', 'simstudy'}
    assert(strcmp(which(name{1}), fullfile(build, [name{1} '.m'])), [name{1} ': not in the build folder']);
    assert(~isempty(strfind(help(name{1}), 'Example')), [name{1} ': no help']);
  end
  assert(exist(fullfile(build, 'examples', 'roof.json'), 'file') == 2, 'no examples folder beside Contents.m');
  disp('octave_build_help: all passed');
end
