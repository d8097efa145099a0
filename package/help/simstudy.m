% simstudy  Runs a study (many runs of one model) and returns its table.
%
%   [t, names] = simstudy(STUDY, DIR)
%   [t, names] = simstudy(STUDY, DIR, 'Jobs', N, 'Files', WHICH)
%
% Runs the program simstudy (`simstudy run STUDY -o DIR`, docs/studies.md)
% and returns the study's table as studyread(DIR) does: a structure of
% columns (run, the varied paths, status, seconds, message, the summary
% statistics) and the columns' names in the table. The runs go on the
% program's worker processes, as at a terminal; what it prints comes
% through. Run again with the same DIR, it resumes: runs recorded ok are
% not run again.
%
% Options (name, value):
%   'Jobs', N       worker processes (the program's -j N); default: the cores
%                   the process may use
%   'Files', WHICH  which runs keep their folder of files (the program's
%                   --files all|failed|none), where the program has the option
% '-j' and '--files' are taken for 'Jobs' and 'Files' too.
%
% The program: the one named by the environment variable SIMSTUDY, else
% the one beside the toolbox folder (build/bin/simstudy for build/octave),
% else simstudy on the PATH. It finds the block libraries itself
% (simstudy --help).
%
% Ctrl-C stops the study as at a terminal: the program finishes or stops
% the runs under way, records them as stopped, writes the table, and
% simstudy raises simblocks:simstudy:interrupted. A study with failed or
% stopped runs returns its table with the warning simblocks:simstudy:notAllOk
% (status says which).
%
% Example (the tilt study shipped in the toolbox's examples folder)
%   [t, names] = simstudy(fullfile(examples, 'roof_tilt_study.json'), 'out/tilt', 'Jobs', 2);
%   names.roof_kWh_m2_integral           % 'roof_kWh_m2.integral'
%   ok = strcmp(t.status, 'ok');
%   [t.blocks_roof_parameters_1_(ok) t.roof_kWh_m2_integral(ok)]
%
% Errors: simblocks:simstudy:args (wrong arguments, or options the program
% does not take), simblocks:simstudy:program
% (no simstudy program found), simblocks:simstudy:study (the study was
% refused: the program's message follows), simblocks:simstudy:interrupted
% (Ctrl-C or SIGTERM), simblocks:simstudy:failed (the program failed
% otherwise), and those of studyread.
%
% See also studyread, simrun.

% Copyright The simblocks authors. BSD 3-Clause licence (LICENSE).
function [t, names] = simstudy(study, dir, varargin)
  if nargin < 2 || ~is_text(study) || ~is_text(dir) || isempty(study) || isempty(dir)
    error('simblocks:simstudy:args', 'simstudy: give the study file and the folder for its results, as texts');
  end
  args = {'run', study, '-o', dir};
  if mod(numel(varargin), 2) ~= 0
    error('simblocks:simstudy:args', 'simstudy: options come in pairs: ''Jobs'', N, ''Files'', WHICH');
  end
  for k = 1:2:numel(varargin)
    name = varargin{k};
    value = varargin{k + 1};
    if ~is_text(name)
      error('simblocks:simstudy:args', 'simstudy: option %d must be a name (Jobs or Files)', (k + 1) / 2);
    end
    switch lower(name)
      case {'jobs', '-j'}
        if ~isnumeric(value) || ~isscalar(value) || ~isreal(value) || value < 1 || value ~= fix(value) || ~isfinite(value)
          error('simblocks:simstudy:args', 'simstudy: Jobs must be a whole number, 1 or more');
        end
        args(end + 1:end + 2) = {'-j', sprintf('%d', value)};
      case {'files', '--files'}
        if ~is_text(value) || isempty(value)
          error('simblocks:simstudy:args', 'simstudy: Files must be a text: all, failed or none');
        end
        args(end + 1:end + 2) = {'--files', value};
      otherwise
        error('simblocks:simstudy:args', 'simstudy: unknown option ''%s'' (Jobs, Files)', name);
    end
  end

  program = find_program();
  command = quoted(program);
  for k = 1:numel(args)
    command = [command ' ' quoted(args{k})];
  end
  % The program's messages are shown as it prints them and kept for an
  % error: its standard error goes to a file, printed when it ends.
  log = [tempname() '.txt'];
  cleanup = onCleanup(@() remove_file(log));
  % exec: the shell becomes the program, so that its exit status (130
  % after Ctrl-C) comes back rather than the shell's own death by the signal.
  if ~ispc()
    command = ['exec ' command];
  end
  status = system([command ' 2>' quoted(log)]);
  said = '';
  [fid, ~] = fopen(log, 'r');
  if fid >= 0
    said = fread(fid, Inf, '*char')';
    fclose(fid);
  end
  fputs(stdout, said);
  % The program's own errors (a study it refuses, a command line it does
  % not take) are its lines "simstudy: error: ...".
  refused = regexp(said, '(?m)^simstudy: error: .*$', 'match');
  if (status == 1 || status == 2) && ~isempty(refused)
    error('simblocks:simstudy:study', 'simstudy: the study was refused: %s', ...
          strjoin(regexprep(refused, '^simstudy: error: ', ''), '; '));
  end
  stopped = regexp(said, '(?m)^simstudy: stopped by (SIG[A-Z]+)', 'tokens', 'once');
  if ~isempty(stopped) || status == 130 || status == 143
    error('simblocks:simstudy:interrupted', ...
          'simstudy: the study was stopped (%s); studyread(DIR) gives what was done, simstudy with the same DIR resumes', ...
          ifelse_text(isempty(stopped), ifelse_text(status == 130, 'SIGINT', 'SIGTERM'), stopped{1}));
  end
  switch status
    case 0
    case 1
      warning('simblocks:simstudy:notAllOk', 'simstudy: not every run is ok; the column status says which');
    case 2
      error('simblocks:simstudy:args', 'simstudy: the program refused its command line: %s', strtrim(said));
    otherwise
      error('simblocks:simstudy:failed', 'simstudy: the program ended with status %d: %s', status, strtrim(said));
  end
  [t, names] = studyread(dir);
end

function yes = is_text(x)
  yes = ischar(x) && (isempty(x) || rows(x) == 1);
end

function s = ifelse_text(c, a, b)
  if c
    s = a;
  else
    s = b;
  end
end

% The program: $SIMSTUDY, beside the toolbox (../bin, ../../bin), or on the PATH.
function program = find_program()
  name = 'simstudy';
  if ispc()
    name = [name '.exe'];
  end
  here = fileparts(mfilename('fullpath'));
  candidates = {getenv('SIMSTUDY'), fullfile(here, '..', 'bin', name), fullfile(here, '..', '..', 'bin', name)};
  for k = 1:numel(candidates)
    if ~isempty(candidates{k}) && exist(candidates{k}, 'file') == 2
      program = candidates{k};
      return;
    end
  end
  program = file_in_path(getenv('PATH'), name);
  if isempty(program)
    error('simblocks:simstudy:program', ...
          'simstudy: no simstudy program (set SIMSTUDY to its path, or put it on the PATH; it is built in build/bin)');
  end
end

% A word for the shell, quoted.
function q = quoted(s)
  if ispc()
    q = ['"' s '"'];
  else
    q = ['''' strrep(s, '''', '''\''''') ''''];
  end
end

function remove_file(f)
  if exist(f, 'file')
    unlink(f);
  end
end
