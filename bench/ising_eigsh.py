#!/usr/bin/python3
# The baseline for one I row: scipy's eigsh (double precision) on the matrix the row solves,
# H = sum_k E_diag(k) |k><k| + g sum_m sigma_x(m) on a ring of N spins.
# Usage: ising_eigsh.py N g   Prints "<seconds> <E_0>" for the eigsh call alone.
import sys
import time

import numpy as np
from scipy.sparse import csr_matrix
from scipy.sparse.linalg import eigsh


def ring_matrix(spins, g):
    n = 1 << spins
    k = np.arange(n, dtype=np.int64)
    diagonal = np.zeros(n)
    for i in range(spins):
        here = (k >> i) & 1
        after = (k >> ((i + 1) % spins)) & 1
        diagonal += np.where(here != after, 1.0, -1.0)
    rows = [k] + [k for _ in range(spins)]
    cols = [k] + [k ^ (1 << m) for m in range(spins)]
    values = [diagonal] + [np.full(n, g) for _ in range(spins)]
    return csr_matrix((np.concatenate(values), (np.concatenate(rows), np.concatenate(cols))),
                      shape=(n, n))


def main():
    spins, g = int(sys.argv[1]), float(sys.argv[2])
    h = ring_matrix(spins, g)
    start = time.process_time()
    energy = eigsh(h, k=1, which="SA", return_eigenvectors=False)[0]
    seconds = time.process_time() - start
    print(f"{seconds:.3f} {energy:.6f}")


main()
