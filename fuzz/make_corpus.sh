#!/usr/bin/env bash
# Writes the seed corpora under fuzz/corpus/, one folder a fuzz target, from
# the forms that the end-to-end cases, the examples and the free-form rules
# use: rows, headers, numbers in every form, prompt answers and thresholds.
# Run it again after changing the lists below; the folders are kept in git.
# The seeds are written over those of the same name; what campaigns added to
# a folder (files named by their hash) stays.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
corpus=$root/corpus
mkdir -p "$corpus"/{row_both_flags,row_catch_error,row_hand_over,xys_header,prompt_answer,threshold,series_reader}

# seed FOLDER NAME BYTES: one seed file; BYTES go through printf %b.
seed() { printf '%b' "$3" >"$corpus/$1/$2"; }

# The reading settings that lead an input (fuzz_support.h: the buffer's and
# the blocks' sizes, the rows asked at a time), four ways in turn: the
# smallest sizes and one row at a time; 256 bytes and four rows; 4 KiB and
# 32 rows; the smallest sizes and two rows. For row_hand_over, bit 0 of the
# second byte makes the rows those of an .xys (the second way).
settings=('\x00\x00' '\x44\x1f' '\x88\xf8' '\x00\x08')
setting() { printf '%s' "${settings[$(($1 % 4))]}"; }

# Rows: separators, line ends, nulls, slashes, repeat counts, pairs,
# comments, and numbers in every form the free-form read takes or refuses.
rows=(
  'plain:0 2\n1 0\n2 -4\n'
  'comma:1.0,2.0\n3.0 , 4.0\n5.0\t,\t6.0\n'
  'tab-crlf:1.0\t2.0\r\n3\t4\r\n'
  'split:1.0\n2.0 3.0\n4.0 5.0\n'
  'comment:1.0 2.0 # comment\n# whole line\n'
  'bom:\xef\xbb\xbf1 2\n'
  'blank-lines:\n\n   \n\t\n1 2\n\n\n'
  'decimal-comma:1,5 2,5\n'
  'repeat:2*3.5\n2*\n3*1.5 7\n'
  'nulls:1.0,,2.0\n,2.0\n , , \n'
  'slash:/\n1 /\n1 2 / 3\n'
  'exponents:1.5e3 1.5D3\n1.5q3 1.5+3\n1-2 1.0+5\n1.5E-3 2.5d+04\n'
  'infinities-nan:-inf NaN\nNAN(abc) +Infinity\ninf -nan\n'
  'pair:(1.0, 2.0) 3\n(1.0 ,\n 2.0) (3,4)\n(1 2)\n'
  'points:.5 5.\n-.5 +5.\n0.0 -0.0\n'
  'range:1E400 1E-400\n-1e309 4.9e-324\n2.2250738585072014e-308 1.7976931348623157e308\n'
  'bare-exponent:1.5E 2D+\n'
  'words:Time Flow\nHours Flow\nINFINITE 1\n'
  'logical:.TRUE. .F\nT F\n'
  'quoted:'"'"'a'"'"' 1\n"b" 2\n'
  'report-fields:0.1000+101 -0.2500-100\n0.3600E+04 -0.7200E+04\n'
  'long-digits:123456789012345678901234567890 1e-5\n0.000000000000000000000000001 9007199254740993\n'
  'syntax:1.2.3 5-\n+-5 E5\n-.E1 1INF\n0x1p3 4\n1;2\n'
  'no-final-lf:1 2\n3 4'
  'one-value:1'
  'cr-only:1 2\r3 4\r\n'
  'nul-bytes:1\x00 2\n3 4\n'
  'high-bytes:1\xa0 2\n\xff\xfe 3\n'
)
i=0
for entry in "${rows[@]}"; do
  seed row_both_flags "${entry%%:*}" "$(setting $i)${entry#*:}"
  seed row_catch_error "${entry%%:*}" "$(setting $((i + 1)))${entry#*:}"
  seed row_hand_over "${entry%%:*}" "$(setting $((i + 2)))${entry#*:}"
  i=$((i + 1))
done
# The bundled examples, the first lines of each.
{ printf '%b' "$(setting 0)"; head -n 40 "$root/../examples/knik_river_daily.txt"; } >"$corpus/row_both_flags/knik"
{ printf '%b' "$(setting 1)"; head -n 40 "$root/../examples/sediment_flux.txt"; } >"$corpus/row_both_flags/sediment"
{ printf '%b' "$(setting 2)"; tail -n +2 "$root/../examples/tidal_discharge.xys" | head -n 40; } >"$corpus/row_catch_error/tidal"
# Many blocks of 16 and of 256 bytes, and a few of 4 KiB, for the hand-over.
{ printf '%b' "$(setting 2)"; head -n 250 "$root/../examples/knik_river_daily.txt"; } >"$corpus/row_hand_over/knik"
{ printf '%b' "$(setting 1)"; tail -n +2 "$root/../examples/tidal_discharge.xys" | head -n 80; } >"$corpus/row_hand_over/tidal"
{ printf '%b' "$(setting 0)"; head -n 60 "$root/../examples/sediment_flux.txt"; } >"$corpus/row_hand_over/sediment"

# .xys headers: conventional, unquoted names, values over several lines,
# counts at and beyond the limits, and every kind of wrong value.
headers=(
  'quoted:XYS 1 3 '"'"'Run A'"'"'\n0 1\n'
  'unquoted:XYS 1 3 Run A\n'
  'commas:XYS, 1, 12.5, '"'"'Flow A'"'"'\n'
  'apostrophe:XYS 1 3 '"'"'It'"''"'s'"'"'\n'
  'lines:XYS\n1\n3\n"Name"\n'
  'tidal:XYS 1 289 '"'"'Inlet throat, station T1'"'"'  # comment\n'
  'count-179:XYS 1 536870912 '"'"'x'"'"'\n'
  'count-max:XYS 1 536870911 '"'"'x'"'"'\n'
  'count-min:XYS 1 -2147483648 '"'"'x'"'"'\n'
  'count-over:XYS 1 2147483648 '"'"'x'"'"'\n'
  'count-real:XYS 1 1E3 '"'"'x'"'"'\nXYS 1 -12.9 y\n'
  'count-nan:XYS 1 NaN '"'"'x'"'"'\n'
  'repeat:XYS 2*7 '"'"'x'"'"'\n3*XYS\n'
  'null-count:XYS 1 , '"'"'x'"'"'\n'
  'slash:XYS / \n'
  'syntax:XYS 1 1x2 '"'"'x'"'"'\n'
  'quoted-count:XYS 1 '"'"'three'"'"' x\n'
  'unterminated:XYS 1 3 '"'"'unterminated\n'
  'long-name:XYS 1 3 abcdefghijklmnopqrstuvwxyz0123456789ABCDEF\n'
  'empty:'
  'blank:\n  \n\t\n'
)
i=0
for entry in "${headers[@]}"; do
  seed xys_header "${entry%%:*}" "$(setting $i | head -c 4)${entry#*:}"  # the buffer's byte alone
  i=$((i + 1))
done

# Prompt answers: the first byte sets the buffer (bits 0-3) and where the
# bytes come from: 0xFF a pipe, 0xFE a regular file, else memory. One seed
# with bytes each for the pipe and the file: their system calls make them
# slow.
answers=(
  'plain:\x04flow.txt\n\n'
  'quoted-blank:\xfe"my data.txt"\nanything at the final wait\n'
  'empty-first:\x00\n\nflow.txt\n\n'
  'apostrophes:\x04  '"'"'run1/flow.txt'"'"'  trailing words\n\n'
  'backslash:\x08C:\\data\\x.txt\n\n'
  'slash:\xffC:/data/series.txt\n\n'
  'comma:\x04data,v2.txt\n\n'
  'repeat:\x083*abc\n\n'
  'unterminated:\x00'"'"'unterminated\nmore\n'
  'doubled:\x04"a""b"\n\n'
  'eof:\x08'
  'eof-pipe:\xff'
  'crlf:\x08\r\n\r\nx\r\n\r\n'
  'no-wait:\x08flow.txt\n'
  'null:\x00,\n\n'
)
for entry in "${answers[@]}"; do seed prompt_answer "${entry%%:*}" "${entry#*:}"; done

# Threshold texts: the cases of the free-form rules and of the end-to-end tests.
thresholds=(
  'e4:1e4' 'abc:abc' 'true:true' 'dot-true:.true.' 'dot-false:.false.' 'blank:   ' 'empty:'
  'decimal-comma:1,5' 'comma:,' 'slash:/' 'e2:5e2' 'minus-inf:-inf' 'nan:NaN' 'nan-suffix:NAN(x)'
  'd-exponent:1.5D3' 'q-exponent:1.5q3' 'sign-exponent:1.5+3' 'pair:(1,2)' 'repeat:2*7'
  'quoted:'"'"'5'"'"'' 'word:none' 'huge:1E400' 'bare-e:1E' 'hex:0x10' 'two-signs:+-5'
  'long:12345678901234567890123456789012345' 'point-first:.5' 'point-last:5.' 'minus-zero:-0'
)
for entry in "${thresholds[@]}"; do seed threshold "${entry%%:*}" "${entry#*:}"; done

# Whole series files: the first byte is the kind (bit 0: .xys), the unit set
# (bit 1: mass) and the threshold (bits 2-3: 100000, 0, -1, NaN), then come
# the two bytes of the reading settings.
series=(
  'worked-txt:\x000 2\n1 0\n2 -4\n'
  'worked-mass:\x020 2\n1 0\n2 -4\n'
  'worked-xys:\x01XYS 1 3 '"'"'Worked'"'"'\n0 2\n1 0\n2 -4\n'
  'outlier:\x000 1\n1 200000\n2 1\n'
  'threshold-zero:\x040 1\n1 -0.0\n2 0\n'
  'threshold-negative:\x090 1\n1 2\n'
  'threshold-nan:\x0e0 1\n1 NaN\n2 inf\n'
  'one-sample:\x005 3\n'
  'zero-length:\x000 1\n5 1\n0 1\n'
  'backwards:\x001 1\n0 1\n'
  'empty-txt:\x00'
  'blank-txt:\x00\n  \n\t\n'
  'header-as-row:\x00Time Flow\n0 2\n'
  'short-xys:\x01XYS 1 5 '"'"'Short'"'"'\n0 1\n1 1\n'
  'empty-xys:\x01'
  'no-rate-xys:\x01XYS 1 2 s\n0 1\n1\n'
  'count-zero:\x01XYS 1 0 '"'"'z'"'"'\n'
  'count-negative:\x01XYS 1 -1 '"'"'z'"'"'\n0 1\n'
  'count-min:\x03XYS 1 -2147483648 '"'"'z'"'"'\n'
  'count-179:\x01XYS 1 536870912 '"'"'z'"'"'\n0 1\n'
  'count-max:\x01XYS 1 536870911 '"'"'big'"'"'\n0 1\n1 1\n2 1\n'
  'count-41:\x01XYS 1 100000000 '"'"'x'"'"'\n0 1\n'
  'count-asterisks:\x01XYS 1 1000001 '"'"'x'"'"'\n0 1\n'
  'seconds:\x000 1\n31536000 1\n'
  'xys-extra-rows:\x01XYS 1 3 '"'"'Run A'"'"'\n0 1\n1 1\n2 1\n3 1\n4 1\n'
  'xys-row-syntax:\x01XYS 1 2 r\n0 1\n# 2\n'
  'mixed-forms:\x000 2\n1,0\n2\t-4.5e0\n3 (1, 2)\n4 2*\n5 NaN\n'
)
i=0
for entry in "${series[@]}"; do
  bytes=${entry#*:}
  seed series_reader "${entry%%:*}" "${bytes:0:4}$(setting $i)${bytes:4}"
  i=$((i + 1))
done
{ printf '%b' "\x01$(setting 0)"; head -n 60 "$root/../examples/tidal_discharge.xys" | sed '1s/ 289 / 59 /'; } >"$corpus/series_reader/tidal"
{ printf '%b' "\x00$(setting 1)"; head -n 60 "$root/../examples/knik_river_daily.txt"; } >"$corpus/series_reader/knik"
{ printf '%b' "\x02$(setting 2)"; head -n 60 "$root/../examples/sediment_flux.txt"; } >"$corpus/series_reader/sediment"

for folder in "$corpus"/*; do echo "$(ls "$folder" | wc -l) inputs in ${folder#"$root"/}"; done
