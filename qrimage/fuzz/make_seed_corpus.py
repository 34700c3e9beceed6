#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into corpus/<target>/.

A fuzz input is the text first, then the arguments, which the targets read
from the end of the input with libFuzzer's FuzzedDataProvider (see
ConsumeCallArguments in fuzz_calls.cpp and each target's LLVMFuzzerTestOneInput).
This script builds that layout, so that the seeds say what they mean. Run it
after changing the layout; the corpus it writes is kept in the repository.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

RAW_LEVEL, RAW_MARGIN, RAW_MODULE_SIZE, WIDE_AS_PAIRS, SET_COLOURS = 1, 2, 4, 8, 16
ASCII, UTF8, CP1251 = 0, 1, 2
INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1


class Tail:
    """The argument bytes, appended in the order the target consumes them
    (from the end of the input backwards)."""

    def __init__(self):
        self.chunks = []

    def ranged(self, value, low, high):
        assert low <= value <= high and high - low < 256
        self.chunks.append(bytes([value - low]))

    def int32(self, value):
        self.chunks.append(struct.pack("<I", value - INT32_MIN))

    def uint(self, value, size):
        self.chunks.append(value.to_bytes(size, "little"))

    def bytes(self):
        return b"".join(reversed(self.chunks))


def call_arguments(tail, level=2, margin=1, module_size=5, charset=UTF8, pairs=False,
                   colours=None):
    """The arguments every target shares (ConsumeCallArguments)."""
    raw_level = not -1 <= level <= 4
    raw_margin = not -1 <= margin <= 10
    raw_size = not -1 <= module_size <= 6
    mode = (RAW_LEVEL * raw_level | RAW_MARGIN * raw_margin | RAW_MODULE_SIZE * raw_size
            | WIDE_AS_PAIRS * pairs | SET_COLOURS * (colours is not None) | charset << 5)
    tail.uint(mode, 1)
    tail.int32(level) if raw_level else tail.ranged(level, -1, 4)
    tail.int32(margin) if raw_margin else tail.ranged(margin, -1, 10)
    tail.int32(module_size) if raw_size else tail.ranged(module_size, -1, 6)
    if colours is not None:
        tail.uint(colours[0], 4)
        tail.uint(colours[1], 4)


def text_seed(text, object_size=40, foreign=0x1000, **arguments):
    tail = Tail()
    call_arguments(tail, **arguments)
    tail.uint(0, 1)  # object size from the small range
    tail.ranged(object_size, -1, 80)
    tail.uint(foreign, 8)
    return text + tail.bytes()


EXPORTS = {"bmpw": 0, "bmpa": 1, "pngw": 2, "pnga": 3}
TARGETS = {"new": 0, "existing": 1, "link": 2, "missing": 3, "directory": 4, "null": 5}
NAME_ALPHABET = "abcdefghijklmnopqrstuvwxyz0123456789-._"


def file_seed(text, export="pngw", target="new", relative=False, name="code", **arguments):
    tail = Tail()
    call_arguments(tail, **arguments)
    tail.uint(EXPORTS[export] | TARGETS[target] << 2 | relative << 5, 1)
    tail.ranged(len(name), 0, 12)
    for character in name:
        if character == "я":
            pick = len(NAME_ALPHABET)
        elif character == "?":  # a unit that cannot be converted
            pick = len(NAME_ALPHABET) + 1
        else:
            pick = NAME_ALPHABET.index(character)
        tail.ranged(pick, 0, len(NAME_ALPHABET) + 1)
    return text + tail.bytes()


def utf16(text):
    return text.encode("utf-16-le")


def text_seeds():
    H, Q, M, L = 3, 2, 1, 0
    ya = "я".encode()
    return {
        "abc-Q-m1-s5": text_seed(b"abc"),
        "ABC-alphanumeric": text_seed(b"ABC", level=L),
        "margin0-s1": text_seed(b"abc", margin=0, module_size=1),
        "level4": text_seed(b"abc", level=4),
        "level-minus1": text_seed(b"abc", level=-1),
        "empty": text_seed(b""),
        "a1273-H-fits": text_seed(b"a" * 1273, level=H, margin=0, module_size=1),
        "a1274-H-too-long": text_seed(b"a" * 1274, level=H, margin=0, module_size=1),
        "a2953-L-fits": text_seed(b"a" * 2953, level=L, margin=0, module_size=1),
        "a2954-L-too-long": text_seed(b"a" * 2954, level=L, margin=0, module_size=1),
        "ya636-H-fits": text_seed(ya * 636, level=H, margin=0, module_size=1),
        "ya637-H-too-long": text_seed(ya * 637, level=H, margin=0, module_size=1),
        "digits7089-L-fits": text_seed(b"1234567890" * 708 + b"123456789", level=L, margin=0,
                                       module_size=1),
        "digits7090-L-too-long": text_seed(b"1234567890" * 709, level=L, margin=0, module_size=1),
        "alnum-run": text_seed(b"HELLO WORLD 0123456789 $%*+-./:", level=M),
        "mixed-runs": text_seed(b"abc 0123456789012345 ABCDEFGHIJ xyz", level=Q),
        "cyrillic-utf8": text_seed("Привет, мир".encode(), charset=UTF8),
        "cyrillic-cp1251": text_seed("Привет, мир".encode("cp1251"), charset=CP1251),
        "cyrillic-in-c-locale": text_seed("Привет".encode(), charset=ASCII),
        "emoji": text_seed("QR 😀 код".encode(), charset=UTF8),
        "broken-utf8": text_seed(b"ab\xe2\x82 \xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80 z", charset=UTF8),
        "utf16-pairs": text_seed(utf16("abc я 😀"), pairs=True),
        "utf16-unpaired": text_seed(utf16("ab") + b"\x00\xd8" + utf16("cd") + b"\x00\xdc", pairs=True),
        "utf16-odd-length": text_seed(utf16("abc") + b"d", pairs=True),
        "embedded-nul": text_seed(b"abc\x00def"),
        "colours": text_seed(b"abc", colours=(0x00FF0000, 0x12345678)),
        "same-colours": text_seed(b"abc", colours=(0x00808080, 0xFF808080)),
        "margin-negative": text_seed(b"abc", margin=-1),
        "module-size-0": text_seed(b"abc", module_size=0),
        "margin-max": text_seed(b"abc", margin=INT32_MAX, module_size=1),
        "both-max": text_seed(b"abc", margin=INT32_MAX, module_size=INT32_MAX),
        "module-size-min": text_seed(b"abc", module_size=INT32_MIN),
        "side-squared-overflows": text_seed(b"abc", margin=0, module_size=80000000),
        "pixels-just-over-2GiB": text_seed(b"abc", margin=0, module_size=1104),
        "object-size-bitmap": text_seed(b"abc", object_size=32),
        "object-size-small": text_seed(b"abc", object_size=23),
    }


def file_seeds():
    seeds = {}
    for export in EXPORTS:
        charset = UTF8 if export.endswith("w") else CP1251
        seeds[f"{export}-new"] = file_seed(b"abc", export=export)
        seeds[f"{export}-existing"] = file_seed(b"abc", export=export, target="existing")
        seeds[f"{export}-existing-kept"] = file_seed(b"", export=export, target="existing")
        seeds[f"{export}-link"] = file_seed(b"abc", export=export, target="link", relative=True)
        seeds[f"{export}-cyrillic"] = file_seed("Привет".encode("cp1251" if charset == CP1251
                                                               else "utf-8"),
                                               export=export, name="qr-я", charset=charset)
    seeds["pngw-missing-folder"] = file_seed(b"abc", target="missing")
    seeds["bmpa-directory"] = file_seed(b"abc", export="bmpa", target="directory")
    seeds["pngw-null-name"] = file_seed(b"abc", target="null")
    seeds["bmpw-unconvertible-name"] = file_seed(b"abc", export="bmpw", name="a?b")
    seeds["bmpw-margin0"] = file_seed(b"abc", export="bmpw", margin=0, module_size=1)
    seeds["pngw-a1273-H"] = file_seed(b"a" * 1273, level=3, margin=0, module_size=1)
    seeds["pnga-level4"] = file_seed(b"abc", export="pnga", level=4, target="existing")
    seeds["bmpw-huge-module"] = file_seed(b"abc", export="bmpw", module_size=INT32_MAX)
    seeds["pngw-colours"] = file_seed(b"abc", colours=(0x00FF0000, 0x12345678))
    return seeds


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as file:
            file.write(data)


if __name__ == "__main__":
    write("fuzz_text_exports", text_seeds())
    write("fuzz_file_exports", file_seeds())
