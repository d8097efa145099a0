%PRINTER Prints its input and the time in the command window (block).
%   The printer block prints its input vector, with the simulation time and
%   a number of its own, as one line in the command window at every output
%   call, and passes the input through to its output unchanged.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). No dialog parameters. It is a Level-2
%   S-function; its use as an S-Function block in a Simulink model
%   (S-function name printer) is not tested.
%
%   Input port 1             any width: the values to print
%   Output port 1            the same width: the input, unchanged
%   Parameters               none
%   Sample time              continuous; no states
%   Work record              "DWORK_NPRINTER": the block's number
%
%   Line: "--> print N, time T: " followed by every value and a blank, then
%   a line break; numbers in the %g form (six significant digits, exponent
%   form for very large or small values). N is the block's number: printer
%   blocks are numbered 1, 2, ... in the order the simulation initialises
%   them, and the count goes on over later runs while the library stays
%   loaded, so two printers get 1 and 2 in a first run and 3 and 4 in the
%   next one. With a continuous solver the block prints at every output
%   call, minor steps included.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:printer:tooFewInputs    fewer than 4 arguments
%     simblocks:printer:tooManyOutputs  more than one output
%     simblocks:printer:flagNotInteger  FLAG not an integer scalar
%     simblocks:printer:invalidFlag     FLAG other than 0
%     simblocks:printer:nameMismatch    library file renamed
%
%   Example
%     sizes = printer([], [], [], 0);   % sizes(4) = 1, sizes(3) = 1
%     Printer 2 at time 0.5 with the inputs 1.5 and 20 prints
%       --> print 2, time 0.5: 1.5 20
%
%   See also TABLOGGER.
