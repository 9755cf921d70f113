#!/bin/sh
# The null law of Bino and of the Pearson column before and after
# (tools/binolaw/results.txt). From the repository root, after
# cmake --build build --target bino_null:
#   sh tools/binolaw/run.sh > tools/binolaw/results.txt
echo "# sh tools/binolaw/run.sh > tools/binolaw/results.txt"
echo "# rows of N uniform values (xoshiro256**, 3 threads); per law (chi2: before, law: after): mean p, share below each level / expected (+- one sd)"
for N in 50 100 1000; do build/tools/bino_null bino $N 10000000 11 3 values; done
build/tools/bino_null bino 9999 2000000 12 3 values
for N in 250 500 5000; do build/tools/bino_null bino $N 1000000 13 3 values; done
for n in 50 100 200 400; do build/tools/bino_null pearson $n 10000000 14 3 values; done
for n in 650 1000; do build/tools/bino_null pearson $n 2000000 15 3 values; done
