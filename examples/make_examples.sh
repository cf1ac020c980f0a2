#!/bin/sh
# Regenerates the example series in this folder:
#   tidal_discharge.xys   synthetic tidal discharge at an inlet (qvolstat)
#   knik_river_daily.txt  Knik River daily discharge, USGS station 15281000 (qvolstat)
#   sediment_flux.txt     synthetic sediment mass flux at an estuary mouth (qmassstat)
#
# Usage: examples/make_examples.sh [knik-river-daily-discharge.csv]
# The CSV (columns datetime,discharge in ft^3/s, a header line, empty values
# for days without data) is the USGS NWIS daily-value record of the Knik River
# near Palmer, Alaska; it is public domain. Without an argument the script
# looks for it in ../shared/data/ beside the checkout.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
csv=${1:-$here/../../shared/data/knik-river-daily-discharge.csv}
# awk prints numbers with a decimal point only in the C locale.
LC_ALL=C
export LC_ALL

# Tidal discharge: 15-minute samples over 3 days (289 rows) of a mixed,
# mainly semi-diurnal tide (M2, K1 and the M4 overtide) with a small net ebb
# from the river behind the inlet. Flood is positive, ebb negative, m^3/s.
# Three rows stand for logger glitches (999999, a bit flip, a missing-value
# code): their magnitude is above 100000, so the default threshold screens them.
awk 'BEGIN {
    pi = atan2(0, -1)
    n = 289
    printf "XYS 1 %d %s  # inlet throat, 15-min discharge in m^3/s, ebb negative\n", n, "\047Inlet throat, station T1\047"
    for (i = 0; i < n; i++) {
        t = i * 0.25
        q = -150 + 2200 * cos(2 * pi * t / 12.4206 - 0.6) \
                 + 260 * cos(2 * pi * t / 23.9345 + 0.9) \
                 + 90 * cos(2 * pi * t / 6.2103 + 0.3)
        note = ""
        if (i == 57)  { q = 999999;  note = "  # logger glitch" }
        if (i == 158) { q = 131072;  note = "  # logger glitch" }
        if (i == 233) { q = -999999; note = "  # logger glitch" }
        printf "%7.2f %9.1f%s\n", t, q, note
    }
}' > "$here/tidal_discharge.xys"

# Knik River: one row for each day with a value, time in hours since
# 1959-10-01 (day index x 24), rate in m^3/s = ft^3/s x 0.028316846592, the
# exact product written in full. Comma separated; the first row of each
# calendar year carries its date as a comment after the values.
awk -F, '
    # Days since 1970-01-01 of a proleptic Gregorian date.
    function days(y, m, d,    era, yoe, doy, doe) {
        if (m <= 2) y--
        era = int((y >= 0 ? y : y - 399) / 400)
        yoe = y - era * 400
        doy = int((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5) + d - 1
        doe = yoe * 365 + int(yoe / 4) - int(yoe / 100) + doy
        return era * 146097 + doe - 719468
    }
    # cfs x 0.028316846592 exactly, as a decimal text (cfs a whole number):
    # the 11-digit factor is split so that every partial product stays exact.
    function cubic_metres(cfs,    hi, lo, carry, digits, n, whole, frac) {
        hi = cfs * 28316
        lo = cfs * 846592
        carry = int(lo / 1000000)
        lo = lo - carry * 1000000
        hi = hi + carry
        digits = sprintf("%.0f%06d", hi, lo)
        sub(/^0+/, "", digits)
        n = length(digits)
        while (n < 13) { digits = "0" digits; n++ }
        whole = substr(digits, 1, n - 12)
        frac = substr(digits, n - 11)
        sub(/0+$/, "", frac)
        return frac == "" ? whole : whole "." frac
    }
    NR == 1 { next }
    {
        split($1, ymd, "-")
        day = days(ymd[1] + 0, ymd[2] + 0, ymd[3] + 0)
        if (NR == 2) first = day
        if ($2 == "") next
        if ($2 !~ /^[0-9]+$/) { print "unexpected discharge: " $0 > "/dev/stderr"; exit 1 }
        note = ""
        if (ymd[1] != year) {
            note = "  # " $1
            if (year == "") note = note " Knik River near Palmer AK, USGS 15281000 (public domain), m^3/s"
            year = ymd[1]
        }
        printf "%d,%s%s\n", (day - first) * 24, cubic_metres($2 + 0), note
    }
' "$csv" > "$here/knik_river_daily.txt"

# Sediment flux: hourly samples over 4 days of suspended-sediment flux in
# kg/s at an estuary mouth (landward positive), with a storm on day 3 that
# exports sediment. Tab separated, a blank line between days, and remarks
# after the two values on some rows.
awk 'BEGIN {
    pi = atan2(0, -1)
    note[6] = "sampler serviced"
    note[30] = "OBS sensor wiped"
    note[50] = "storm runoff arrives"
    note[58] = "peak export"
    note[71] = "bottle sample 71-B"
    note[90] = "battery changed"
    for (h = 0; h <= 96; h++) {
        if (h > 0 && h % 24 == 0) print ""
        w = 2 * pi * h / 12.4206
        q = -8 + 120 * cos(w - 0.4) + 35 * cos(2 * w + 0.2) \
               - 350 * exp(-((h - 58) / 6) ^ 2)
        printf "%d\t%.2f%s\n", h, q, (h in note) ? " # " note[h] : ""
    }
    print ""
}' > "$here/sediment_flux.txt"
