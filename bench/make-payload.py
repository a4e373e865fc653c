#!/usr/bin/env python3
"""Writes a reference payload folder like the product's: by default 777 files,
66,775,654 bytes in all, nested up to four folders deep, a mix of text-like,
binary-like and incompressible files that bzip2 -9 compresses to about half.
The same arguments always give the same files.

usage: make-payload.py FOLDER [--files N] [--bytes N] [--seed N]
"""
import argparse
import os
import random

WORDS = ("contact message window status online away busy offline buddy group chat "
         "skin control button image text font color width height left top right bottom "
         "plugin event sound notify language string value name id true false").split()
FOLDERS = ["skins", "languages", "plugins", "sounds", "users", "emoticons", "xml", "controls",
           "windows6", "default", "en", "de", "fr", "global", "images", "themes"]


def text_like(rng, size):
    lines = []
    for _ in range(4000):
        tag = rng.choice(WORDS)
        attrs = " ".join(f'{rng.choice(WORDS)}="{rng.choice(WORDS)}{rng.randrange(1000)}"'
                         for _ in range(rng.randrange(1, 4)))
        lines.append(f'<{tag} {attrs}>{" ".join(rng.choices(WORDS, k=rng.randrange(2, 12)))}</{tag}>\r\n')
    out = "".join(rng.choices(lines, k=size // 40 + 1)).encode()
    while len(out) < size:
        out += out
    return out[:size]


# Four bits of entropy a byte, like images or tables of small numbers.
NIBBLES = bytes((b & 0x0F) + 0x40 for b in range(256))


def binary_like(rng, size):
    return rng.randbytes(size).translate(NIBBLES)


def incompressible(rng, size):
    return rng.randbytes(size)


# Share of the payload's bytes of each kind, for about 47% after bzip2 -9.
KINDS = [(".xml", text_like, 0.38), (".dat", binary_like, 0.40), (".bin", incompressible, 0.22)]


def sizes(rng, count, total):
    weights = [rng.paretovariate(1.2) for _ in range(count)]
    scale = total / sum(weights)
    result = [int(w * scale) for w in weights]
    result[0] += total - sum(result)
    return result


def assign_kinds(file_sizes):
    """Gives each file a kind so that each kind gets its share of the bytes:
    largest files first, each to the kind furthest below its share."""
    total = sum(file_sizes) or 1
    given = [0] * len(KINDS)
    kinds = [0] * len(file_sizes)
    for index in sorted(range(len(file_sizes)), key=lambda i: -file_sizes[i]):
        kind = min(range(len(KINDS)), key=lambda k: given[k] / total - KINDS[k][2])
        kinds[index] = kind
        given[kind] += file_sizes[index]
    return kinds


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--files", type=int, default=777)
    parser.add_argument("--bytes", type=int, default=66_775_654)
    parser.add_argument("--seed", type=int, default=777)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    file_sizes = sizes(rng, args.files, args.bytes)
    for index, (size, kind) in enumerate(zip(file_sizes, assign_kinds(file_sizes))):
        parts = [rng.choice(FOLDERS) for _ in range(rng.randrange(0, 5))]
        extension, make, _ = KINDS[kind]
        path = os.path.join(args.folder, *parts, f"file{index:04d}{extension}")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(make(rng, size))


if __name__ == "__main__":
    main()
