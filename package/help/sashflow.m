%SASHFLOW Airflow through a tilted window (block).
%   The sashflow block outputs the volume flow of air through a tilted
%   (bottom-hung) window driven by the temperature difference across it
%   (stack effect).
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). Dialog parameters: A, H, W below, such
%   as 10, 1.2, 0.8. It is a Level-2 S-function; its use as an S-Function
%   block in a Simulink model (S-function name sashflow) is not tested.
%
%   Parameter 1              angle scale A: the opening angle, in degrees,
%                            that an opening signal of 1 stands for
%   Parameter 2              window height H, m
%   Parameter 3              window width W, m
%   Input port 1, width 3    [T1 T2 u]: air temperature on one side and on
%                            the other side, degrees Celsius; opening
%                            signal u (opening angle a = u*A degrees)
%   Output port 1, width 1   air volume flow, m3/s (for H and W in m)
%   Sample time              continuous; no states, no work vectors
%
%   flow = k(a) (W (0.4116 + 0.0174 a) - 0.0928 H) H
%          * sqrt(1.09 H |T1 - T2| / Tm)
%   with k(a) = 0.0186 a - 0.000119 a^2 + 2.6e-7 a^3 and Tm the mean of the
%   two absolute temperatures (T + 273.15). The flow has no sign: which side
%   is which does not matter. The parameters are read at every step.
%
%   Nothing is clamped: equal temperatures and u = 0 give 0; a negative
%   height gives NaN; a negative opening signal, or a width term that turns
%   negative for a tall narrow window, gives a negative flow; the angle is
%   not limited to 0..90 degrees. A parameter that is empty or not a real
%   double gives NaN. The block reports no errors of its own.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:sashflow:tooFewInputs    fewer than 4 arguments
%     simblocks:sashflow:tooManyOutputs  more than one output
%     simblocks:sashflow:flagNotInteger  FLAG not an integer scalar
%     simblocks:sashflow:invalidFlag     FLAG other than 0
%     simblocks:sashflow:nameMismatch    library file renamed
%
%   Example
%     sizes = sashflow([], [], [], 0, 10, 1.2, 0.8);   % sizes(8) = 3
%     In a model, A = 10, H = 1.2, W = 0.8:
%       [20 0 1]  ->  about 0.0227119 m3/s (the same for [0 20 1])
%
%   See also ATMOGLOW, PUMP.
