#!/bin/sh
# Makes the small data files of the example models, from formulas (no
# measured data): weather.csv and plant.csv, hourly over 21 June (hours of
# the year 4104 to 4128; 21 June is day 172 of a common year).
#
# With d the hour of the day (hour of the year mod 24) and s = sin(2 pi (d - 9) / 24):
#   weather.csv  T  = 17 + 8 s            air temperature, degC (9 at 03:00, 25 at 15:00)
#                RH = 70 - 25 s           relative humidity, %
#                N  = 0.5 + 0.4 sin(2 pi d / 24)   cloud cover, 0 clear .. 1 overcast
#   plant.csv    opening = 0.5 + 0.5 s    window opening signal, 0 .. 1
#                run = 1 for the hours of the day 6 to 21, else -1   pump on / off
#                b2  = 3 + 2 sin(2 pi d / 24)   quadratic coefficient of the circuit's
#                                               pressure-loss curve (valve throttling)
# Values are rounded to two decimals (RH to one).
#
# Usage: sh make-data.sh [folder]   (default: the folder of this script)
set -eu
dir=${1:-$(dirname "$0")}
awk 'BEGIN {
    pi = 3.141592653589793
    print "hour,T,RH,N" > "'"$dir"'/weather.csv"
    print "hour,opening,run,b2" > "'"$dir"'/plant.csv"
    for (h = 4104; h <= 4128; h++) {
        d = h % 24
        s = sin(2 * pi * (d - 9) / 24)
        c = sin(2 * pi * d / 24)
        printf "%d,%.2f,%.1f,%.2f\n", h, 17 + 8 * s, 70 - 25 * s, 0.5 + 0.4 * c > "'"$dir"'/weather.csv"
        run = (d >= 6 && d <= 21) ? 1 : -1
        printf "%d,%.2f,%d,%.2f\n", h, 0.5 + 0.5 * s, run, 3 + 2 * c > "'"$dir"'/plant.csv"
    }
}'
