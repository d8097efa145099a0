%WAIT Paces a simulation against the wall clock (block).
%   The wait block holds the simulation at each of its sample hits until
%   the computer's local clock has advanced by one more step beyond a
%   reference moment, so that a model runs no faster than real time, from
%   its start or from a set moment of the year.
%
%   Runs on the toolbox's engine: in a model with simrun or alone with
%   simblock, in Octave or MATLAB, and with the command-line runner (tested
%   in Octave and with that runner). Dialog parameters: the six below, such
%   as 0, 0, 0, 0, 0, 1. It is a Level-2 S-function; its use as an
%   S-Function block in a Simulink model (S-function name wait) is not
%   tested.
%
%   Parameters 1 to 5        start moment: month, day, hour, minute, second
%                            (each truncated toward zero); used when the
%                            month is above 0, else the reference is the
%                            clock at the simulation start
%   Parameter 6              step, seconds: the block's sample time and the
%                            advance of the reference per sample hit
%   Ports                    none
%   Sample time              parameter 6, offset 0
%   Work record              "DWORK0": the reference, seconds of year
%
%   At each sample hit the block waits until the clock count reaches the
%   reference plus one step, then moves the reference on by one step: hit k
%   returns no earlier than the start reference plus k steps. The clock
%   count is the local time in whole seconds of year on a calendar without
%   29 February, so a start moment in a leap year lies one day earlier from
%   1 March on (month 3, day 1, hour 8 is 29 February 08:00 of a leap
%   year). The step is read afresh at every pass, so a change takes effect
%   at once. A step below one second lets several hits pass together each
%   time the count moves on; step 0 never waits once the reference is
%   reached. A start moment in the past lets the hits pass until the
%   simulation has caught up; one in the future holds the first hit until
%   then. Pacing carries on across midnight of 31 December; a start moment
%   more than half a year ahead of the clock counts as last year's. A
%   daylight-saving change holds the hits, or lets them pass, by its size.
%   The block reads the clock every 2 ms while it waits. In Octave it
%   stops waiting when Ctrl-C is pressed, so that simrun or simblock can end
%   the call (help simrun).
%
%   Errors: "The local time could not be obtained from the system clock"
%   stops the simulation when the system gives no local time; "wait: the
%   step (parameter 6) is infinite; the clock would never reach it" when
%   the sample time is set, instead of holding the simulation for ever.
%
%   Error identifiers of the sizes call (help Contents gives the texts)
%     simblocks:wait:tooFewInputs    fewer than 4 arguments
%     simblocks:wait:tooManyOutputs  more than one output
%     simblocks:wait:flagNotInteger  FLAG not an integer scalar
%     simblocks:wait:invalidFlag     FLAG other than 0
%     simblocks:wait:nameMismatch    library file renamed
%
%   Example
%     sizes = wait([], [], [], 0, 0, 0, 0, 0, 0, 1);   % sizes(8) = 6,
%                                                     % no ports
%     In a model, parameters 0, 0, 0, 0, 0, 1 run one simulated second per
%     second of wall-clock time; 3, 1, 8, 0, 0, 60 wait for 1 March 08:01
%     (in a common year) and then run one minute per minute.
%
%   See also WALLPULSE, CLOCKNOW, CALENDARNOW.
