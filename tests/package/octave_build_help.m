% From the build folder, as from an installed toolbox: `help <name>` prints
% each deliverable's help file, which lies beside its MEX file, and so do
% simrun and simblock.
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
  disp('octave_build_help: all passed');
end
