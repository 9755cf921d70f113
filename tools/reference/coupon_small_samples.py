#!/usr/bin/python3
"""Why the coupon collector's chi-square joins its open remainder to the last
class: p-values of the statistic on N independent collection lengths drawn
from the exact law of s = 9 (read from the built DAT_coupon.bin), 5000
repetitions, judged by KS against the uniform law, with the remainder
merged into the last class and with it dropped. Run from the repository
root after a build: /usr/bin/python3 tools/reference/coupon_small_samples.py
(output committed as coupon_small_samples.txt).
"""
import struct, sys
import numpy as np
from scipy.special import gammaincc
from scipy.stats import kstest
d = open((sys.argv[1] if len(sys.argv) > 1 else 'build/bin') + '/DAT_coupon.bin', 'rb').read()
pos=4; rec={}
while d[pos]:
    s=d[pos]; lo,mean,hi=struct.unpack_from('<ifi',d,pos+1)
    p=np.array(struct.unpack_from('<%dd'%(hi-lo+1),d,pos+13)); rec[s]=(lo,mean,hi,p); pos+=13+8*(hi-lo+1)
s=9; lo,mean,hi,p=rec[s]
rng=np.random.default_rng(1)
def pval(lengths, N):
    counts=np.bincount(np.minimum(lengths,hi)-lo if len(lengths) else np.array([],int), minlength=hi-lo+1) if len(lengths) else np.zeros(hi-lo+1)
    cells=[]; o=0; e=0.0
    for i in range(hi-lo+1):
        o+=counts[i]; e+=N*p[i]
        if e>=5: cells.append([o,e]); o=0; e=0.0
    if cells: cells[-1][0]+=o; cells[-1][1]+=e
    k=len(cells)
    if k<2: return None
    chi=sum((a-b)**2/b for a,b in cells)
    return gammaincc((k-1)/2, chi/2)
cdf=np.cumsum(p)
# iid, fixed N = 33
#ps=[pval(np.searchsorted(cdf, rng.random(33))+lo, 33) for _ in range(5000)]
#print('iid N=33', kstest(ps,'uniform').pvalue)
def pval_drop(lengths, N):
    counts=np.bincount(np.minimum(lengths,hi)-lo, minlength=hi-lo+1)
    cells=[]; o=0; e=0.0
    for i in range(hi-lo+1):
        o+=counts[i]; e+=N*p[i]
        if e>=5: cells.append([o,e]); o=0; e=0.0
    k=len(cells)
    if k<2: return None
    chi=sum((a-b)**2/b for a,b in cells)
    return gammaincc((k-1)/2, chi/2)
for N in (33, 83, 200):
    a=[];b=[]
    for _ in range(5000):
        L=np.searchsorted(cdf, rng.random(N))+lo
        a.append(pval(L,N)); b.append(pval_drop(L,N))
    print('iid N=%d merged KS %.3g dropped KS %.3g' % (N, kstest(a,'uniform').pvalue, kstest(b,'uniform').pvalue))
