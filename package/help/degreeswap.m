%DEGREESWAP Temperature conversion: Celsius, kelvin, Fahrenheit (block).
%   The degreeswap block converts a temperature signal from one unit to
%   another.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). Dialog parameters: the initial and the
%   final unit code below, such as 1, 3. It is a Level-2 S-function; its use
%   as an S-Function block in a Simulink model (S-function name degreeswap)
%   is not tested.
%
%   Parameter 1              unit code of the input
%   Parameter 2              unit code of the output
%                            codes: 1 degrees Celsius, 2 kelvin,
%                            3 degrees Fahrenheit; numbers, truncated
%                            toward zero (2.9 is kelvin)
%   Input port 1, width 1    temperature in the initial unit
%   Output port 1, width 1   temperature in the final unit
%   Sample time              continuous; no states, no work vectors
%
%   The conversion always goes by way of kelvin: K = C + 273.15,
%   K = (F + 459.67)*5/9; C = K - 273.15, F = K*9/5 - 459.67. Equal codes
%   also go through kelvin, which may change the last bits. The input is
%   not limited (a value below absolute zero is converted all the same).
%
%   Errors, when the model starts and when the parameters are changed
%   (a code below 1 or above 3; the initial unit is checked first):
%     Error in degreeswap : The initial unit must be : C, K or F.
%     Error in degreeswap : The final unit must be : C, K or F.
%   A parameter that is empty or not a real number counts as an invalid
%   code.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:degreeswap:tooFewInputs    fewer than 4 arguments
%     simblocks:degreeswap:tooManyOutputs  more than one output
%     simblocks:degreeswap:flagNotInteger  FLAG not an integer scalar
%     simblocks:degreeswap:invalidFlag     FLAG other than 0
%     simblocks:degreeswap:nameMismatch    library file renamed
%
%   Example
%     sizes = degreeswap([], [], [], 0, 1, 3);   % sizes(8) = 2, sizes(4) = 1
%     In a model, codes 1 and 3:  100  ->  212
%                 codes 2 and 1:    0  ->  -273.15
%     At the command line an invalid code stops the declaration after
%     sizes(8): degreeswap([], [], [], 0, 4, 1) has sizes(4) = 0.
%
%   See also ATMOGLOW, SASHFLOW.
