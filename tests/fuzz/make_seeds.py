#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets.

corpus_receive/: the three header bytes of fuzz_receive_path, then response
frames as a sensor sends them. corpus_image/: small image files; the ones at
the size limit are made by tools/run-sanitized-tests.sh."""

import pathlib

BOOT, IMG1, IMG129, IMGFULL, ECHO, UPLOAD, YES, NEAR_LIMIT = 1, 2, 4, 6, 8, 16, 32, 64


def frame(code, payload=b"", bad_sum=False, marker=b"HEAD"):
    payload = payload.ljust(62, b"\0")[:62]
    total = (0x55 + sum(payload)) & 0xFFFF
    if bad_sum:
        total ^= 0x0101
    return b"~" + marker + code.encode() + payload + bytes([total >> 8, total & 0xFF]) + b"\r"


def seed(flags, frames, chunk=0, fail_read=0, ticks_in_box=0):
    return bytes([flags, chunk, ticks_in_box << 4 | fail_read]) + b"".join(frames)


clock = bytes(range(1, 41))
test_run = [frame("T", bytes(range(62)))] * 12
SEEDS = {
    "loader_ready": seed(0, [frame("B")]),
    "loader_left": seed(BOOT, [frame("O")]),
    "text": seed(BOOT, [frame("b", b"ABC\0"), frame("b", "Привет".encode("cp1251"))]),
    "text_no_nul": seed(BOOT, [frame("b", bytes([0xC0 + i % 64 for i in range(62)]))]),
    "ask_stay": seed(0, [frame("Y", b"stay?\0")]),
    "ask_stay_echo": seed(ECHO, [frame("Y", b"stay?\0")], chunk=71),
    "close_port": seed(BOOT, [frame("X"), frame("B")]),
    "clock": seed(BOOT, [frame("J", clock), frame("Z"), frame("I"), frame("P"), frame("F")]),
    "upload_small": seed(BOOT | IMG129, [frame("G"), frame("N"), frame("N"), frame("Q")], chunk=71),
    "upload_full": seed(BOOT | IMGFULL, [frame("G")] + [frame("N")] * 8, chunk=71),
    "link_test_then_upload": seed(BOOT | IMG1 | UPLOAD, test_run + [frame("G"), frame("N"), frame("Q")], chunk=71),
    "link_test_errors": seed(BOOT | IMG1 | UPLOAD | YES, [frame("T", bad_sum=True)] * 12 + [frame("G")], chunk=71),
    "repeat_limit": seed(BOOT | NEAR_LIMIT, [frame("R")] * 4, chunk=71),
    "ticks_in_box": seed(0, [frame("b", b"in box\0"), frame("B"), frame("J", clock), frame("X")],
                         fail_read=1, ticks_in_box=4),
    "strays_and_bad_frames": seed(BOOT, [b"\x01\x02\x03", frame("b", b"A\rB\0"), frame("b", marker=b"HEAd"),
                                         b"~" + b"\0" * 70, frame("B")]),
    "read_fails": seed(BOOT, [frame("b", b"x\0"), frame("b", b"y\0")], fail_read=2),
    "short_tail": seed(BOOT, [frame("B"), b"~HEADb"]),
}

IMAGES = {
    "one_byte": b"\x42",
    "one_block": bytes(range(128)),
    "one_block_and_a_byte": bytes(range(129)),
    "three_blocks_partial": bytes((i * 7) % 251 for i in range(300)),
}

here = pathlib.Path(__file__).resolve().parent
for folder, seeds in (("corpus_receive", SEEDS), ("corpus_image", IMAGES)):
    out = here / folder
    out.mkdir(exist_ok=True)
    for name, data in seeds.items():
        (out / name).write_bytes(data)
