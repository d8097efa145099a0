% studyread  Reads a study's table (DIR/study.csv) into a structure of columns.
%
%   [t, names] = studyread(DIR)
%
% DIR is the folder a study ran into (simstudy run STUDY.json -o DIR, or
% simstudy in Octave). t is a 1-by-1 structure with one field per column of
% DIR/study.csv, in the table's order, each an N-by-1 column (N runs):
%
%   run           the run numbers (doubles);
%   <path>        one column per varied path: doubles when every value is a
%                 number, else a cell array of char (the values as written,
%                 e.g. the weather files);
%   status        'ok', 'failed' or 'stopped' (cell array of char);
%   seconds       the run's wall-clock time (doubles);
%   message       why a run failed or where it stopped, '' for an ok run;
%   <summary>     one column per summary statistic (doubles; NaN for a run
%                 that failed or stopped).
%
% Column names that are no valid field names ("blocks.roof.parameters[1]",
% "roof.integral") are made valid (blocks_roof_parameters_1_,
% roof_integral); names maps each field to the column's name in the table:
% names.roof_integral is 'roof.integral'.
%
% Numbers read back as the very doubles the study computed (the table
% writes the shortest text that does). The unit of a summary column is its
% signal's unit for mean, min, max and sum, and the signal's unit times
% seconds for integral (J/m2 for a signal in W/m2), unless the study gives
% the entry a "scale" (docs/studies.md).
%
% Example
%   [t, names] = studyread('out/tilt');
%   ok = strcmp(t.status, 'ok');
%   plot(t.blocks_roof_parameters_1_(ok), t.roof_kWh_m2_integral(ok), 'o')
%
% Errors: simblocks:studyread:args (wrong arguments), simblocks:studyread:noTable
% (DIR holds no study.csv), simblocks:studyread:badTable (not a study's table).
%
% See also simstudy, simrun.

% Copyright The simblocks authors. BSD 3-Clause licence (LICENSE).
function [t, names] = studyread(dir)
  if nargin ~= 1 || ~ischar(dir) || (~isempty(dir) && rows(dir) ~= 1)
    error('simblocks:studyread:args', 'studyread: give the folder of a study, as a text');
  end
  file = fullfile(dir, 'study.csv');
  if ~exist(file, 'file')
    error('simblocks:studyread:noTable', ...
          'studyread: %s holds no study table (study.csv): run the study first (simstudy) or give its folder', dir);
  end
  [fid, why] = fopen(file, 'r');
  if fid < 0
    error('simblocks:studyread:noTable', 'studyread: cannot open %s: %s', file, why);
  end
  text = fread(fid, Inf, '*char')';
  fclose(fid);

  cells = split_csv(text, file);
  header = cells(1, :);
  body = cells(2:end, :);
  k = find(strcmp(header, 'status'), 1);
  if isempty(k) || ~strcmp(header{1}, 'run') || k + 2 > numel(header) || ~strcmp(header{k + 1}, 'seconds') ...
     || ~strcmp(header{k + 2}, 'message')
    error('simblocks:studyread:badTable', ...
          'studyread: %s is not a study table (its header must begin run, <paths>, status, seconds, message)', file);
  end

  % Kinds: 1 number, 0 text; the varied paths are numbers when every cell is.
  kinds = ones(1, numel(header));
  kinds([k, k + 2]) = 0;
  for c = 2:k - 1
    kinds(c) = all(is_number_text(body(:, c)));
  end

  fields = valid_names(header);
  t = struct();
  names = struct();
  for c = 1:numel(header)
    if kinds(c)
      t.(fields{c}) = reshape(str2double(body(:, c)), [], 1);
    else
      t.(fields{c}) = body(:, c);
    end
    names.(fields{c}) = header{c};
  end
end

% The cells of a CSV text (RFC 4180: fields with commas, quotes or line
% ends in double quotes, a quote inside doubled), one row per line.
function cells = split_csv(text, file)
  text = strrep(text, "\r\n", "\n");
  if isempty(text)
    error('simblocks:studyread:badTable', 'studyread: %s is empty', file);
  end
  if text(end) ~= "\n"
    text(end + 1) = "\n";
  end
  % Within quotes: from an opening quote to its closing one (a doubled
  % quote inside closes and opens again, which leaves the text inside).
  at = find(text == '"');
  if mod(numel(at), 2) ~= 0
    error('simblocks:studyread:badTable', 'studyread: %s ends inside a quoted field', file);
  end
  inside = false(size(text));
  if ~isempty(at)
    edges = zeros(1, numel(text) + 1);
    edges(at(1:2:end)) = 1;
    edges(at(2:2:end)) = -1;
    inside = cumsum(edges(1:end - 1)) > 0;
  end
  stops = find((text == ',' | text == "\n") & ~inside);
  if any(text == char(1))
    error('simblocks:studyread:badTable', 'studyread: %s holds control characters', file);
  end
  marked = text;
  marked(stops) = char(1);
  raw = ostrsplit(marked(1:end - 1), char(1));  % the last stop ends the text
  starts = [1, stops(1:end - 1) + 1];
  quoted = text(starts) == '"';  % a quoted field begins with its quote
  raw(quoted) = cellfun(@(s) strrep(s(2:end - 1), '""', '"'), raw(quoted), 'UniformOutput', false);
  ends = text(stops) == "\n";
  width = find(ends, 1);
  if mod(numel(raw), width) ~= 0 || any(ends(width:width:end) == 0)
    error('simblocks:studyread:badTable', 'studyread: %s has rows of different widths', file);
  end
  cells = reshape(raw, width, [])';
end

% True for each cell the table writes for a number ("0.1", "-3e-05", "nan", "inf").
function yes = is_number_text(cells)
  yes = ~isnan(str2double(cells)) | strcmpi(cells, 'nan') | strcmpi(cells, '-nan');
end

% Valid, distinct field names for the columns.
function fields = valid_names(header)
  fields = regexprep(header, '[^A-Za-z0-9_]', '_');
  for c = 1:numel(fields)
    if isempty(fields{c}) || ~isletter(fields{c}(1))
      fields{c} = ['x' fields{c}];
    end
    fields{c} = fields{c}(1:min(end, namelengthmax()));
    base = fields{c};
    n = 1;
    while any(strcmp(fields(1:c - 1), fields{c}))
      n += 1;
      suffix = sprintf('_%d', n);
      fields{c} = [base(1:min(end, namelengthmax() - numel(suffix))) suffix];
    end
  end
end
