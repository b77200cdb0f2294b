#!/usr/bin/env python3
"""Checks zorva-server's sample content as the client and its movie player
will read it:

- every page list names movies that exist (".html" standing for ".swf"), and
  every movie in a lesson folder is named by its page list;
- every movie is a well-formed SWF: FWS or CWS, version 8, 550 x 400 stage,
  12 frames a second, 2 to 5 seconds long, ActionScript 2, every tag, shape
  record and placement matrix read back to its exact length, every outline
  closed, as many ShowFrame tags as the header's frame count, and a stop() in
  the last frame's actions unless the page is a looping one (name "loop");
- the catalogue, page lists, version files, job files and the announcement
  page are code page 936 and say gb2312;
- running the generator again gives exactly the committed files (compressed
  movies compared inflated).

Usage: sample_content_check.py CONTENT_DIR GENERATOR
"""

import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

CONTENT = GENERATOR = None


class BitReader:
    def __init__(self, data):
        self.data, self.pos = data, 0  # pos in bits

    def ub(self, n):
        v = 0
        for _ in range(n):
            byte = self.data[self.pos >> 3]
            v = (v << 1) | ((byte >> (7 - (self.pos & 7))) & 1)
            self.pos += 1
        return v

    def sb(self, n):
        v = self.ub(n)
        return v - (1 << n) if n and v >> (n - 1) else v

    def align(self):
        self.pos = (self.pos + 7) & ~7
        return self.pos >> 3


def read_rect(r):
    n = r.ub(5)
    return [r.sb(n) for _ in range(4)]


def read_matrix(r):
    if r.ub(1):
        n = r.ub(5)
        r.sb(n), r.sb(n)
    if r.ub(1):
        n = r.ub(5)
        r.sb(n), r.sb(n)
    n = r.ub(5)
    return r.sb(n), r.sb(n)


def check_shape(test, body):
    """DefineShape: id, bounds, one-or-more solid fills, no lines, records."""
    r = BitReader(body)
    r.pos = 16
    xmin, xmax, ymin, ymax = read_rect(r)
    i = r.align()
    fills = body[i]
    i += 1
    for _ in range(fills):
        test.assertEqual(body[i], 0x00, "only solid fills are written")
        i += 4
    lines = body[i]
    i += 1 + lines * 5
    r.pos = i * 8
    fill_bits, line_bits = r.ub(4), r.ub(4)
    x = y = start = None
    outlines = 0
    while True:
        if r.ub(1) == 0:
            flags = r.ub(5)
            if flags == 0:
                break
            test.assertFalse(flags & 0x10, "no new styles in a DefineShape record")
            if start is not None:
                test.assertEqual((x, y), start, "an outline ends where it began")
            if flags & 0x01:
                n = r.ub(5)
                x, y = r.sb(n), r.sb(n)
                start = (x, y)
                outlines += 1
            if flags & 0x02:
                test.assertLessEqual(r.ub(fill_bits), fills)
            if flags & 0x04:
                test.assertLessEqual(r.ub(fill_bits), fills)
            if flags & 0x08:
                r.ub(line_bits)
        elif r.ub(1):
            n = r.ub(4) + 2
            if r.ub(1):
                x, y = x + r.sb(n), y + r.sb(n)
            elif r.ub(1):
                y += r.sb(n)
            else:
                x += r.sb(n)
        else:
            n = r.ub(4) + 2
            cx, cy = x + r.sb(n), y + r.sb(n)
            test.assertTrue(xmin <= cx <= xmax and ymin <= cy <= ymax)
            x, y = cx + r.sb(n), cy + r.sb(n)
        test.assertTrue(xmin <= x <= xmax and ymin <= y <= ymax, "edges stay in the bounds")
    test.assertEqual((x, y), start, "the last outline ends where it began")
    test.assertGreater(outlines, 0)
    test.assertEqual(r.align(), len(body), "shape records fill the tag exactly")


def check_movie(test, name, data):
    test.assertIn(data[:3], (b"FWS", b"CWS"))
    test.assertEqual(data[3], 8, "SWF version")
    length = struct.unpack("<I", data[4:8])[0]
    body = zlib.decompress(data[8:]) if data[:3] == b"CWS" else data[8:]
    test.assertEqual(8 + len(body), length, "header length")
    r = BitReader(body)
    test.assertEqual(read_rect(r), [0, 11000, 0, 8000], "550 x 400 stage")
    i = r.align()
    rate, frames = struct.unpack("<HH", body[i:i + 4])
    test.assertEqual(rate, 12 << 8, "12 frames a second")
    test.assertTrue(24 <= frames <= 60, f"2 to 5 seconds, not {frames} frames")
    i += 4
    shown, depths, first = 0, set(), True
    frame_stops = []
    stops = False
    while True:
        code_len = struct.unpack("<H", body[i:i + 2])[0]
        code, size = code_len >> 6, code_len & 0x3F
        i += 2
        if size == 0x3F:
            size = struct.unpack("<I", body[i:i + 4])[0]
            i += 4
        tag = body[i:i + size]
        test.assertEqual(len(tag), size, "tag inside the movie")
        i += size
        if first:
            test.assertEqual(code, 69, "FileAttributes comes first")
            test.assertFalse(tag[0] & 0x08, "ActionScript 2")
            first = False
        if code == 0:
            break
        if code == 1:
            shown += 1
            frame_stops.append(stops)
            stops = False
        elif code == 2:
            check_shape(test, tag)
        elif code == 12:
            test.assertEqual(tag[-1], 0, "actions end with ActionEndFlag")
            stops = stops or 0x07 in tag[:-1]
        elif code == 26:
            flags, depth = tag[0], struct.unpack("<H", tag[1:3])[0]
            at = 3
            if flags & 0x02:
                at += 2
                depths.add(depth)
            else:
                test.assertIn(depth, depths, "a move names a placed depth")
            test.assertTrue(flags & 0x04)
            r = BitReader(tag)
            r.pos = at * 8
            read_matrix(r)
            test.assertEqual(r.align(), len(tag), "placement matrix fills the tag")
    test.assertEqual(i, len(body), "End is the last tag")
    test.assertEqual(shown, frames, "ShowFrame tags match the header's frame count")
    test.assertGreater(len(depths), 1, "several shapes")
    test.assertFalse(any(frame_stops[:-1]), "only the last frame stops")
    test.assertEqual(frame_stops[-1], "loop" not in name, "the last frame stops, unless a loop")


def readable(path):
    """A file's bytes, a compressed movie's inflated: another zlib build may
    compress the same movie to other bytes."""
    with open(path, "rb") as f:
        data = f.read()
    return data[:8] + zlib.decompress(data[8:]) if data[:3] == b"CWS" else data


def cp936_text(test, path):
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode("gbk")  # fails on anything that is not code page 936
    test.assertRegex(text, r'(encoding|charset)="?gb2312')
    return text


def page_lists():
    root = os.path.join(CONTENT, "lesson")
    for folder in sorted(os.listdir(root)):
        path = os.path.join(root, folder, "0010", "pages.xml")
        if os.path.isfile(path):
            yield folder, path


class SampleContent(unittest.TestCase):
    def test_page_lists_name_exactly_the_movies_there(self):
        kinds = set()
        for folder, path in page_lists():
            with self.subTest(folder=folder):
                text = cp936_text(self, path)
                rows = re.findall(r'<file order="(\d+)" name="([^"]+)"( delay_time="(-?\d+)")?', text)
                self.assertTrue(rows)
                named = {name.replace(".html", ".swf") for _, name, _, _ in rows}
                movies = {n for n in os.listdir(os.path.dirname(path)) if n.endswith(".swf")}
                self.assertEqual(named, movies)
                for _, name, has_delay, delay in rows:
                    kinds |= {".html" if name.endswith(".html") else None,
                              "_ad" if "_ad" in name.lower() else None,
                              "loop" if "loop" in name else None,
                              "negative" if has_delay and int(delay) < 0 else None}
                if len(rows) >= 6:
                    kinds.add("long")
        self.assertLessEqual({".html", "_ad", "loop", "negative", "long"}, kinds)

    def test_every_movie_reads_back(self):
        count = 0
        for folder, path in page_lists():
            lesson = os.path.dirname(path)
            for name in sorted(os.listdir(lesson)):
                if not name.endswith(".swf"):
                    continue
                with self.subTest(movie=f"{folder}/{name}"):
                    with open(os.path.join(lesson, name), "rb") as f:
                        data = f.read()
                    self.assertLess(len(data), 8192, "a few KB")
                    check_movie(self, name, data)
                    count += 1
        self.assertGreater(count, 0)

    def test_text_files_are_code_page_936(self):
        for name in ("lesson/lesson_list.xml", "zorva.xml", "shuzi.xml", "dl/download.xml",
                     "dl/download_shuzi.xml", "gonggao.htm"):
            with self.subTest(file=name):
                text = cp936_text(self, os.path.join(CONTENT, name))
                if name == "gonggao.htm":
                    self.assertRegex(text, r'id="ButtonCancel">关闭<')
                    self.assertIn('id="ButtonOK"', text)

    def test_program_item_is_an_executable_named_as_its_catalogue_entry(self):
        text = cp936_text(self, os.path.join(CONTENT, "lesson", "lesson_list.xml"))
        names = re.findall(r'type="(?!lesson")[^"]*" file_name="([^"]+)"', text)
        self.assertTrue(names)
        for name in names:
            with self.subTest(item=name):
                program = os.path.join(CONTENT, "dl", name)
                self.assertTrue(os.access(program, os.X_OK))
                base = name[:-4]
                job = cp936_text(self, os.path.join(CONTENT, "dl", f"download_{base}.xml"))
                order = re.search(rf'<local order="(\d+)">{re.escape(name)}</local>', job)
                self.assertTrue(order, f"the job does not install {name}")
                self.assertIn(f'<url order="{order[1]}">/dl/{name}</url>', job)
                cp936_text(self, os.path.join(CONTENT, f"{base}.xml"))

    def test_program_item_records_what_it_was_started_with(self):
        with tempfile.TemporaryDirectory() as run:
            env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
            args = ["user_name=张三", "user_password=a b&c"]
            subprocess.run([os.path.join(CONTENT, "dl", "shuzi.exe"), *args], cwd=run, env=env,
                           check=True, timeout=30)
            log = os.path.join(run, "shuzi.log")
            with open(log, encoding="utf-8") as f:
                self.assertEqual(f.read().splitlines()[1:3], args)
            self.assertEqual(os.stat(log).st_mode & 0o077, 0, "the password stays private")

    def test_generator_output_is_committed(self):
        def files(root):
            return sorted(os.path.relpath(os.path.join(folder, name), root)
                          for folder, _, names in os.walk(root) for name in names)

        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "content")
            subprocess.run([sys.executable, GENERATOR, "--out", out], check=True,
                           stdout=subprocess.DEVNULL, timeout=120)
            fresh = files(out)
            self.assertEqual(fresh, files(CONTENT), "run server/make-sample-content again")
            for name in fresh:
                with self.subTest(file=name):
                    self.assertEqual(readable(os.path.join(out, name)),
                                     readable(os.path.join(CONTENT, name)),
                                     "run server/make-sample-content again")


if __name__ == "__main__":
    CONTENT, GENERATOR = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1], verbosity=2)
