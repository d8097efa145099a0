%FOLDERSCAN Lists folders, with patterns and recursion, as a structure array.
%   list = folderscan(arg1, arg2, ...) lists the entries of one folder, or
%   of a folder and all its subfolders, whose names match one or more
%   wildcard patterns.
%
%   Arguments: any number of strings, or cell arrays of strings, taken in
%   order. Each string is, by the first rule that fits:
%     - a pattern when it holds "*"; the first pattern may carry the folder
%       in front of its last / or \ (as in 'data/*.txt')
%     - the recursive switch when it holds "-r" anywhere (so a folder named
%       my-results must be given with a pattern, as 'my-results/*')
%     - the folder, when none is given yet
%     - otherwise a further pattern (a name, or a pattern using "?")
%   With no folder the current folder is listed, with no pattern every
%   entry, "." and ".." included. A relative folder is taken below the
%   current folder (on Windows a folder is absolute when it holds ":").
%   Any other argument is skipped with the message
%     One or more inputs could not be understood. Please verify that all
%     inputs are strings or cell strings.
%
%   Patterns: "*" matches any characters, "?" one character. Characters
%   before the first "*" compare exactly; characters after a "*" compare
%   without regard to case: '*.TXT' matches readme.txt, 'README*' does not.
%   An entry is listed once, at the first pattern that matches it.
%
%   Result: an N-by-1 structure array (0-by-1 when nothing matches or the
%   folder cannot be read; folderscan raises no error for these, only
%   "Out of memory." with simblocks:folderscan:outOfMemory when a listing
%   outgrows the memory, and simblocks:folderscan:interrupted on Ctrl-C,
%   below) with the fields
%     name      entry name; in a recursive listing, entries below the start
%               folder carry their path relative to it (sub/notes.txt)
%     date      last write, local time, as '07-Dec-2026 09:05:03'
%     bytes     size in bytes
%     isdir     true for a folder
%     datenum   last write, local time, as a serial day number (the datenum
%               scale: 730486.5 is 1 January 2000, 12:00)
%   Entries come in the order the system lists them, not sorted. In a
%   recursive listing the contents of a subfolder come before the
%   subfolder's own record, and each subfolder's "." and ".." entries are
%   listed like any other entry, named after the folder they lead to. A
%   folder reached through a symbolic link is listed but not entered.
%
%   Ctrl-C: in Octave, Ctrl-C stops a long listing within a second, with
%   the error simblocks:folderscan:interrupted ("interrupted; no listing is
%   returned"); every folder it had open is closed and the session goes on.
%   In MATLAB it cannot: MATLAB's documented MEX API gives a MEX file no way
%   to see a pending Ctrl-C, and the toolbox relies on no undocumented one,
%   so the listing runs to its end first.
%
%   folderscan is a plain MEX function for Octave and MATLAB, tested in
%   Octave and on the toolbox's embedded host.
%
%   Example
%     f = folderscan('*.m');                 % current folder, .m files
%     f = folderscan('data', '*.csv', '*.txt', '-r');
%     {f(~[f.isdir]).name}                   % the files found
%     sum([f.bytes])
%
%   See also DIR.
