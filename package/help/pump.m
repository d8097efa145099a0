%PUMP Operating flow where two quadratic curves meet (block).
%   The pump block outputs the operating flow of a pump in a hydraulic
%   circuit: the flow x at which two curves, each quadratic in the flow,
%   give the same value (typically the pressure rise of the pump and the
%   pressure loss of the circuit).
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). No dialog parameters. It is a Level-2
%   S-function; its use as an S-Function block in a Simulink model
%   (S-function name pump) is not tested.
%
%   Input port 1, width 7    [run a0 a1 a2 b0 b1 b2]: a negative run
%                            signal switches the block off (output 0);
%                            curve A(x) = a0 + a1 x + a2 x^2,
%                            curve B(x) = b0 + b1 x + b2 x^2
%   Output port 1, width 1   flow x, in the unit the coefficients are
%                            written for; never negative
%   Parameters               none
%   Sample time              inherited; no states, no work vectors
%
%   The roots of (b2-a2) x^2 + (b1-a1) x + (b0-a0) = 0 decide: both
%   negative gives 0; one non-negative root is the output; with both
%   non-negative the larger is taken when b1 - a1 > 0, else the smaller.
%   Complex roots are replaced by their common real part and its partner
%   (their product stays (b0-a0)/(b2-a2)). With a2 = b2 the one root of
%   the linear equation is the output; equal curves, or curves that differ
%   only by a constant, give 0. A result below 1e-9 is written as 0. The
%   block reports no errors of its own.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:pump:tooFewInputs    fewer than 4 arguments
%     simblocks:pump:tooManyOutputs  more than one output
%     simblocks:pump:flagNotInteger  FLAG not an integer scalar
%     simblocks:pump:invalidFlag     FLAG other than 0
%     simblocks:pump:nameMismatch    library file renamed
%
%   Example
%     sizes = pump([], [], [], 0);   % sizes(4) = 1, sizes(8) = 0
%     In a model, pump 30 - 5 x^2 against circuit 10 x^2:
%       [1 30 0 -5 0 0 10]  ->  sqrt(2) = 1.41421
%       [-1 30 0 -5 0 0 10] ->  0 (switched off)
%
%   See also SASHFLOW, ATMOGLOW.
