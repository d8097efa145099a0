%TABLOGGER Appends triggered samples of its input to a text file (block).
%   The tablogger block writes selected samples of its input signals as
%   rows of numbers to a plain text file: a row is appended whenever the
%   last input element, the trigger, is above 0.9.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). Dialog parameters: the new-file switch
%   and the file name below, such as 1, 'log.txt'. It is a Level-2
%   S-function; its use as an S-Function block in a Simulink model
%   (S-function name tablogger) is not tested.
%
%   Parameter 1              new-file switch: not 0 empties the file when
%                            the simulation initialises and writes a
%                            header line; 0 leaves the file as it is and
%                            appends to it
%   Parameter 2              file name, a character array
%   Input port 1             width w of at least 1: elements 1 to w-1 are
%                            the values written, element w the trigger
%   Output port 1, width 1   not written
%   Sample time              continuous; no states
%   Work record              "DWORK_NUMBER": the column count w - 1
%
%   Row: every value in the %f form (six decimals) followed by a blank,
%   then a line break; no time column. The header line reads
%     % This file has been generated at H:M on D.M.YYYY by the block "path"
%   with the local time without leading zeros and the block's path in the
%   model. The file is opened and closed for every row, so it is complete
%   after every step. A trigger of exactly 0.9, a negative one or NaN writes
%   nothing. With a continuous solver a row is written at every output call
%   whose trigger is high, minor steps included.
%
%   A file that cannot be opened is reported in the command window, and the
%   simulation goes on:
%     error: couldn't open file "name"
%   Errors at initialisation stop the simulation:
%     Error in tablogger : The input must have at least one element, the
%       trigger.
%     Error in tablogger : The input must not have more than 32768 elements
%       (32767 values and the trigger).
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:tablogger:tooFewInputs    fewer than 4 arguments
%     simblocks:tablogger:tooManyOutputs  more than one output
%     simblocks:tablogger:flagNotInteger  FLAG not an integer scalar
%     simblocks:tablogger:invalidFlag     FLAG other than 0
%     simblocks:tablogger:nameMismatch    library file renamed
%
%   Example
%     sizes = tablogger([], [], [], 0, 1, 'log.txt');   % sizes(8) = 2
%     In a model, the input [1.5 -20 1] appends the row
%       1.500000 -20.000000
%     (with a blank after the last value).
%
%   See also PRINTER.
