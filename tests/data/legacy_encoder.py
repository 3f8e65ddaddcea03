#!/usr/bin/env python3
"""Encodes standard input in one of the old ZIP methods onto standard output, for the tests:
the methods that no tool here writes, and the parts of them that the samples do not reach.

legacy_encoder.py 1          Shrink, with the codes widened up to 13 bits and partial clearings
                             whenever the table is full
legacy_encoder.py 2|3|4|5    Reduce with compression factor 1 to 4, follower sets of every size
legacy_encoder.py 6 FLAGS    Implode, FLAGS as the general-purpose flags (2: 8 KiB dictionary,
                             4: three trees)
"""
import sys


class BitWriter:
    """Bits least significant first, as the methods store them."""

    def __init__(self):
        self.out = bytearray()
        self.held = 0
        self.count = 0

    def put(self, value, width):
        self.held |= value << self.count
        self.count += width
        while self.count >= 8:
            self.out.append(self.held & 255)
            self.held >>= 8
            self.count -= 8

    def data(self):
        return bytes(self.out) + (bytes([self.held]) if self.count else b"")


def shrink(data):
    bits = BitWriter()
    width, free = 9, 257
    parents, children = {}, {}  # code -> (parent, byte), and back

    def emit(code):
        nonlocal width
        while code >= 1 << width:
            bits.put(256, width)
            bits.put(1, width)
            width += 1
        bits.put(code, width)

    def free_from(code):
        while code in parents:
            code += 1
        return code

    if not data:
        return b""
    string = data[0]
    for byte in data[1:]:
        if (string, byte) in children:
            string = children[(string, byte)]
            continue
        emit(string)
        # A full table is cleared of its leaves at once (unzip takes no code while it is full);
        # then the string just sent is extended as the decoder will extend it, by the lowest
        # free code, whether it stayed or not.
        if free == 8192:
            bits.put(256, width)
            bits.put(2, width)
            extended = {parent for parent, _ in parents.values()}
            for code in [c for c in parents if c not in extended]:
                del children[parents.pop(code)]
            free = free_from(257)
        if free < 8192:
            parents[free] = (string, byte)
            children[(string, byte)] = free
            free = free_from(free + 1)
        string = byte
    emit(string)
    return bits.data()


def matches(data, minimum, longest, reach):
    """Greedy matching: (position, length, distance), length 0 for a literal byte."""
    heads, chains = {}, {}
    at = 0
    while at < len(data):
        best, distance = 0, 0
        candidate = heads.get(data[at:at + minimum])
        tries = 16
        while candidate is not None and at - candidate <= reach and tries:
            length = 0
            while length < longest and at + length < len(data) and data[candidate + length] == data[at + length]:
                length += 1
            if length > best:
                best, distance = length, at - candidate
            candidate = chains.get(candidate)
            tries -= 1
        if best < minimum:
            best = 0
        for p in range(at, min(at + max(best, 1), len(data) - minimum + 1)):
            key = data[p:p + minimum]
            if key in heads:
                chains[p] = heads[key]
            heads[key] = p
        yield at, best, distance
        at += max(best, 1)


def reduce(data, factor):
    low = 8 - factor
    mask = (1 << low) - 1
    # The second stage: DLE (144) escapes, matches as DLE V [L] D.
    expanded = bytearray()
    for at, length, distance in matches(data, 3, mask + 258, 256 << factor):
        first = ((distance - 1) >> 8) << low | min(length - 3, mask) if length else 0
        if not first:  # a literal; a match whose V would be 0 (a literal DLE) goes as bytes too
            for byte in data[at:at + max(length, 1)]:
                expanded += b"\x90\x00" if byte == 144 else bytes([byte])
            continue
        expanded += bytes([144, first])
        if length - 3 >= mask:
            expanded.append(length - 3 - mask)
        expanded.append((distance - 1) & 255)
    # The first stage: each byte's most frequent followers, up to 32 of them.
    counts = [dict() for _ in range(256)]
    last = 0
    for byte in expanded:
        counts[last][byte] = counts[last].get(byte, 0) + 1
        last = byte
    sets = [sorted(c, key=lambda b: -c[b])[:32] for c in counts]
    bits = BitWriter()
    for byte in range(255, -1, -1):
        bits.put(len(sets[byte]), 6)
        for follower in sets[byte]:
            bits.put(follower, 8)
    last = 0
    for byte in expanded:
        followers = sets[last]
        if not followers:
            bits.put(byte, 8)
        elif byte in followers:
            bits.put(0, 1)
            bits.put(followers.index(byte), max(1, (len(followers) - 1).bit_length()))
        else:
            bits.put(1, 1)
            bits.put(byte, 8)
        last = byte
    return bits.data()


def code_lengths(frequencies):
    """Huffman code lengths of at most 16 bits for every value (each counted at least once)."""
    counts = [f + 1 for f in frequencies]
    while True:
        nodes = [(count, [value]) for value, count in enumerate(counts)]
        lengths = [0] * len(counts)
        while len(nodes) > 1:
            nodes.sort(key=lambda node: node[0])
            (a, left), (b, right) = nodes[0], nodes[1]
            for value in left + right:
                lengths[value] += 1
            nodes = nodes[2:] + [(a + b, left + right)]
        if max(lengths) <= 16:
            return lengths
        counts = [(count >> 1) + 1 for count in counts]


class Tree:
    """A Shannon-Fano tree as Implode stores it, and its codes."""

    def __init__(self, frequencies):
        self.lengths = code_lengths(frequencies)
        order = sorted(range(len(self.lengths)), key=lambda value: (self.lengths[value], value))
        self.codes = [0] * len(self.lengths)
        code = increment = last = 0
        for value in reversed(order):
            code += increment
            if self.lengths[value] != last:
                last = self.lengths[value]
                increment = 1 << (16 - last)
            self.codes[value] = code >> (16 - last)

    def store(self, bits):
        runs = []
        for length in self.lengths:
            if runs and runs[-1][0] == length and runs[-1][1] < 16:
                runs[-1][1] += 1
            else:
                runs.append([length, 1])
        bits.put(len(runs) - 1, 8)
        for length, count in runs:
            bits.put((count - 1) << 4 | (length - 1), 8)

    def put(self, bits, value):
        length = self.lengths[value]
        for shift in range(length - 1, -1, -1):  # the first bit is the code's highest
            bits.put(self.codes[value] >> shift & 1, 1)


def implode(data, flags):
    low = 7 if flags & 2 else 6
    minimum = 3 if flags & 4 else 2
    found = list(matches(data, minimum, minimum + 63 + 255, 1 << (low + 6)))
    literals, lengths, distances = [0] * 256, [0] * 64, [0] * 64
    for at, length, distance in found:
        if length:
            lengths[min(length - minimum, 63)] += 1
            distances[(distance - 1) >> low] += 1
        else:
            literals[data[at]] += 1
    trees = ([Tree(literals)] if flags & 4 else []) + [Tree(lengths), Tree(distances)]
    bits = BitWriter()
    for tree in trees:
        tree.store(bits)
    for at, length, distance in found:
        if not length:
            bits.put(1, 1)
            if flags & 4:
                trees[0].put(bits, data[at])
            else:
                bits.put(data[at], 8)
            continue
        bits.put(0, 1)
        bits.put((distance - 1) & ((1 << low) - 1), low)
        trees[-1].put(bits, (distance - 1) >> low)
        trees[-2].put(bits, min(length - minimum, 63))
        if length - minimum >= 63:
            bits.put(length - minimum - 63, 8)
    return bits.data()


def main():
    data = sys.stdin.buffer.read()
    method = int(sys.argv[1])
    if method == 1:
        stream = shrink(data)
    elif method <= 5:
        stream = reduce(data, method - 1)
    else:
        stream = implode(data, int(sys.argv[2]))
    sys.stdout.buffer.write(stream)


main()
