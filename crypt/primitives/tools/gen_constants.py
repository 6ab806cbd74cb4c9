#!/usr/bin/env python3
"""Derives the "nothing up my sleeve" constants used by the primitives and prints them as C++.

  pi     fractional hex digits of pi as 32-bit words (Blowfish P-array and S-boxes, HAVAL)
  sha256 first 32 bits of the fractional cube roots of the first 64 primes
  sha512 first 64 bits of the fractional cube roots of the first 80 primes
  md5    floor(2^32 * |sin(i)|), i = 1..64

Usage: gen_constants.py {pi N | sha256 | sha512 | md5}
"""
import math
import sys


def arctan_inv(x, one):
    total = term = one // x
    x2, n, sign = x * x, 1, 1
    while term:
        term //= x2
        n += 2
        sign = -sign
        total += sign * (term // n)
    return total


def pi_words(count):
    bits = 32 * count + 64
    one = 1 << bits
    pi = 4 * (4 * arctan_inv(5, one) - arctan_inv(239, one))  # Machin
    frac = pi - (3 << bits)
    return [(frac >> (bits - 32 * (i + 1))) & 0xFFFFFFFF for i in range(count)]


def primes(n):
    out, c = [], 2
    while len(out) < n:
        if all(c % p for p in out if p * p <= c):
            out.append(c)
        c += 1
    return out


def icbrt(n):
    lo, hi = 0, 1 << (n.bit_length() // 3 + 2)
    while lo < hi:
        mid = (lo + hi + 1) // 2
        if mid ** 3 <= n:
            lo = mid
        else:
            hi = mid - 1
    return lo


def cube_root_words(count, width):
    return [icbrt(p << (3 * width)) & ((1 << width) - 1) for p in primes(count)]


def emit(words, width, per_line):
    digits = width // 4
    for i in range(0, len(words), per_line):
        print("    " + " ".join("0x%0*x," % (digits, w) for w in words[i:i + per_line]))


if __name__ == "__main__":
    what = sys.argv[1]
    if what == "pi":
        emit(pi_words(int(sys.argv[2])), 32, 6)
    elif what == "sha256":
        emit(cube_root_words(64, 32), 32, 6)
    elif what == "sha512":
        emit(cube_root_words(80, 64), 64, 3)
    elif what == "md5":
        emit([int(abs(math.sin(i)) * 2 ** 32) & 0xFFFFFFFF for i in range(1, 65)], 32, 6)
