#!/usr/bin/env python3
"""Checks pictures of the screen (binary PPM, as xwdtopnm writes them, 8 or 16 bits a sample) against where the
dialog's controls are (penwick-dialog-probe's lines "status L T R B", "progress L T R B",
"list L T R B", "pos N").
  dialog_shots.py SHOT STATE                    the status text (and a shown message list) drawn
  dialog_shots.py SHOT1 STATE1 SHOT2 STATE2     as above for both, and the bar longer in SHOT2
Exit status 0 when every check holds; each failed check is printed."""
import sys


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    at = 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6":
        raise ValueError(path + ": not a binary PPM")
    width, height, maxval = int(fields[1]), int(fields[2]), int(fields[3])
    samples = data[at + 1:]
    if maxval > 255:  # two bytes a sample, most significant first: keep the first
        samples = samples[0::2]
    return width, height, samples


def read_state(path):
    state = {}
    with open(path) as f:
        for line in f:
            name, _, rest = line.rstrip("\n").partition(" ")
            if name in ("window", "status", "progress", "list"):
                state[name] = [int(v) for v in rest.split()]
            elif name == "pos":
                state[name] = int(rest)
    return state


class Shot:
    def __init__(self, path):
        self.width, self.height, self.pixels = read_ppm(path)

    def pixel(self, x, y):
        at = 3 * (y * self.width + x)
        return tuple(self.pixels[at:at + 3])

    def dark(self, rect):
        """Pixels in the rectangle (left, top, right, bottom) dark enough to be text."""
        left, top, right, bottom = rect
        return sum(1 for y in range(top, bottom) for x in range(left, right)
                   if sum(self.pixel(x, y)) < 200)

    def bar(self, rect):
        """The filled part of the progress bar: pixels of its middle row, inside the border,
        far from the colour of its empty right end."""
        left, top, right, bottom = rect
        y = (top + bottom) // 2
        empty = self.pixel(right - 3, y)
        return sum(1 for x in range(left + 2, right - 2)
                   if sum(abs(a - b) for a, b in zip(self.pixel(x, y), empty)) > 60)


def check(shot, state, name, problems):
    if shot.dark(state["status"]) < 20:
        problems.append(name + ": no status text drawn")
    listed = state.get("list", [0, 0, 0, 0])
    if listed[2] > listed[0] and shot.dark(listed) < 20:
        problems.append(name + ": no entries drawn in the message list")


def main(args):
    problems = []
    shots = [(Shot(args[i]), read_state(args[i + 1]), args[i]) for i in range(0, len(args), 2)]
    for shot, state, name in shots:
        check(shot, state, name, problems)
    if len(shots) == 2:
        (first, state1, _), (second, state2, _) = shots
        filled1, filled2 = first.bar(state1["progress"]), second.bar(state2["progress"])
        print("bar: %d pixels at %d%%, %d pixels at %d%%" %
              (filled1, state1.get("pos", -1), filled2, state2.get("pos", -1)))
        if not 0 < filled1 < filled2:
            problems.append("the bar does not grow between the pictures")
    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
