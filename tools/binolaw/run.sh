#!/bin/sh
# The null law of Bino and of the Pearson column before and after
# (tools/binolaw/results.txt). From the repository root, after
# cmake --build build --target bino_null:
#   sh tools/binolaw/run.sh > tools/binolaw/results.txt
echo "# sh tools/binolaw/run.sh > tools/binolaw/results.txt"
echo "# rows of N uniform values (xoshiro256**, 3 threads); per law (chi2: the plain chi-square law, law: battery/BinoLaw.h): mean p, share below each level / expected (+- one sd of a binomial count)"
for N in 50 100 250 500 1000 5000 9999; do build/tools/bino_null bino $N 10000000 32 3; done
for n in 50 100 400 599 600 650 700 800 1000 2000 5000 9999; do build/tools/bino_null pearson $n 10000000 41 3; done
