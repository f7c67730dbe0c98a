#!/usr/bin/env python3
"""gzip -9n: compressed without a name or a time stamp, so that the same input gives the same bytes."""
import gzip
import sys

with open(sys.argv[1], "rb") as src, open(sys.argv[2], "wb") as out:
    with gzip.GzipFile(filename="", mode="wb", fileobj=out, mtime=0, compresslevel=9) as z:
        z.write(src.read())
