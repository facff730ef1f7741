#!/bin/sh
# Two command-line runs into one output that does not exist yet, started together, N rounds:
# every round must end with the output holding one run's whole conversion and no temporary
# file left. Prints the tally.
#   bench/output_race_cli.sh TOLVANE ROUNDS
T=$1; N=$2; d=$(mktemp -d); cd "$d"
seq 1 200000 | sed 's/$/,x\r/' > s.csv
"$T" convert -c 1 s.csv a.ref 2>/dev/null; "$T" convert -c 2,1 s.csv b.ref 2>/dev/null
ao=0; bo=0; both=0; none=0; bad=0; left=0
i=0
while [ $i -lt $N ]; do
  i=$((i+1)); rm -f o.csv
  "$T" convert -c 1 s.csv o.csv 2>/dev/null & "$T" convert -c 2,1 s.csv o.csv 2>/dev/null; b=$?; wait $!; a=$?
  if cmp -s o.csv a.ref || cmp -s o.csv b.ref; then :; else bad=$((bad+1)); fi
  if [ $a = 0 ] && [ $b = 0 ]; then both=$((both+1)); elif [ $a = 0 ]; then ao=$((ao+1)); elif [ $b = 0 ]; then bo=$((bo+1)); else none=$((none+1)); fi
  if ls -A | grep -q 'tolvane-'; then left=$((left+1)); rm -f .*tolvane-*; fi
done
echo "rounds $N: first alone $ao, second alone $bo, both one after the other $both, neither $none; outputs not one run's whole $bad; temporary files left $left"
cd /; rm -rf "$d"
