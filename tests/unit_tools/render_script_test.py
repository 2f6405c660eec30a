#!/usr/bin/env python3
"""Runs scripts/render.sh on the sample clip into a folder of PNG frames and checks, against
ffmpeg's own decoding of the clip, that the stamp sits where the settings put it (lower left,
from 0.75 of the height down: rows handed over bottom first and back) and that every pixel
outside the stamp is unchanged. Also checks that a non-DV input fails with the reader's reason.
Usage: render_script_test.py SOURCE_DIR BUILD_DIR WORK_DIR"""

import os
import shutil
import struct
import subprocess
import sys
import unittest

from script_support import (BUILD, HEIGHT, SOURCE, WIDTH, WORK, data, decode, front_dir, registry,
                            render, render_session_env, reset_defaults, script_env)


class RenderScript(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        reset_defaults()

    def test_stamps_lower_left_and_leaves_the_rest(self):
        out = os.path.join(WORK, "frames") + "/"
        result = render(os.path.join(SOURCE, "samples", "ntsc-camcorder.avi"), out, "--frames", "2",
                        "--set", "x=0.08", "--set", "y=0.75", "--set", "angle=0")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("2 frames in", result.stderr)
        self.assertEqual(sorted(os.listdir(out)), ["frame-000001.png", "frame-000002.png"])
        stamped = decode(out + "frame-000002.png")
        original = decode(os.path.join(SOURCE, "samples", "ntsc-camcorder.avi"), 2, True)[WIDTH * HEIGHT * 3:]
        changed_rows = set()
        changed_cols = set()
        for y in range(HEIGHT):
            row = slice(y * WIDTH * 3, (y + 1) * WIDTH * 3)
            if stamped[row] == original[row]:
                continue
            changed_rows.add(y)
            for x in range(WIDTH):
                if stamped[y * WIDTH * 3 + x * 3:y * WIDTH * 3 + x * 3 + 3] != \
                        original[y * WIDTH * 3 + x * 3:y * WIDTH * 3 + x * 3 + 3]:
                    changed_cols.add(x)
        self.assertTrue(changed_rows, "nothing was stamped")
        # The text starts at 0.75 of the height (a little above for the glyphs' ascent and the
        # outline) and at 0.08 of the width; nothing changes in the upper half or the right third.
        self.assertGreaterEqual(min(changed_rows), HEIGHT // 2)
        self.assertLessEqual(min(changed_cols), int(0.08 * WIDTH) + 10)
        self.assertGreaterEqual(min(changed_cols), int(0.08 * WIDTH) - 10)
        self.assertLess(max(changed_cols), 2 * WIDTH // 3)

    def test_a_picture_for_one_run_is_used_and_taken_back(self):
        sample = os.path.join(SOURCE, "samples", "ntsc-camcorder.avi")
        plain, custom = os.path.join(WORK, "plain") + "/", os.path.join(WORK, "custom") + "/"
        result = render(sample, plain, "--frames", "1")
        self.assertEqual(result.returncode, 0, result.stderr)
        result = render(sample, custom, "--frames", "1", "--time-format", "HH'h'mm")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotEqual(decode(plain + "frame-000001.png"), decode(custom + "frame-000001.png"))
        # The prefix's registry keeps no picture of that run.
        stored = registry("query", "HKCU\\Software\\Veltro\\Camtag\\3.0")
        self.assertNotIn("HH'h'mm", stored)
        result = render(sample, os.path.join(WORK, "bad") + "/", "--time-format", "x" * 29)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("--time-format \"%s\": at most 28 characters (given: 29)" % ("x" * 29), result.stderr)

    def test_the_settings_dialog_decides_and_its_look_serves_other_runs(self):
        """--dialog opens the module's dialog (a second program presses its buttons, as a user
        would); OK renders with the dialog's look, which --save-settings keeps for --settings;
        Cancel renders nothing; without a display --dialog refuses at once."""
        sample = os.path.join(SOURCE, "samples", "ntsc-camcorder.avi")
        look = os.path.join(WORK, "look.bin")
        chosen, again = os.path.join(WORK, "chosen") + "/", os.path.join(WORK, "again") + "/"
        result = render(sample, chosen, "--frames", "1", "--dialog", "--set", "title=Hello ",
                        "--save-settings", look, press=1)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(look, "rb") as f:
            saved = f.read()
        # The look: its tag, then the instance's 506-byte record, then the two pictures.
        self.assertEqual(len(saved), 12 + 506 + 60)
        self.assertEqual(saved[12 + 446:12 + 452], b"Hello ")
        result = render(sample, again, "--frames", "1", "--settings", look)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(decode(chosen + "frame-000001.png"), decode(again + "frame-000001.png"))

        cancelled = os.path.join(WORK, "cancelled.mp4")
        result = render(sample, cancelled, "--frames", "1", "--dialog", press=2)
        self.assertEqual(result.returncode, 4, result.stderr)
        self.assertIn("cancelled in the settings dialog", result.stderr)
        self.assertFalse(os.path.exists(cancelled))

        result = render(sample, cancelled, "--dialog", display="")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("--dialog needs a display", result.stderr)

    def test_a_front_without_its_codec_hands_the_video_to_ffmpeg(self):
        # The same video stream either way, on the same clock; only the front without
        # camtag-codec.so says so.
        alone = os.path.join(WORK, "front-alone")
        os.makedirs(alone, exist_ok=True)
        shutil.copy(os.path.join(front_dir(), "camtag"), alone)
        ntsc, pal = os.path.join(SOURCE, "samples", "ntsc-camcorder.avi"), data("pal-type2-idx1-ffmpeg.avi")
        for clip, frames, container in ((ntsc, 5, "mp4"), (ntsc, 5, "mkv"), (pal, 4, "mp4")):
            streams = {}
            for front in (front_dir(), alone):
                out = os.path.join(WORK, "codec." + container)
                result = render(clip, out, "--overwrite", front=front)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual("codec cannot be loaded" in result.stderr, front == alone, result.stderr)
                streams[front] = subprocess.run(["ffmpeg", "-v", "error", "-i", out, "-map", "0:v", "-c", "copy",
                                                 "-f", "framemd5", "-"], stdout=subprocess.PIPE, check=True).stdout
            self.assertEqual(streams[alone].count(b"\n0,"), frames, (clip, container))
            self.assertEqual(streams[front_dir()], streams[alone], (clip, container))

    def test_non_dv_input_fails_with_the_reason(self):
        result = render(os.path.join(SOURCE, "CMakeLists.txt"), os.path.join(WORK, "x.mp4"))
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("This file is not RIFF AVI", result.stderr)
        self.assertFalse(os.path.exists(os.path.join(WORK, "x.mp4")))


class RendererStartedAhead(unittest.TestCase):
    def test_takes_its_arguments_from_its_input(self):
        # As the front starts it: the arguments in UTF-8 whatever the code page; none, nothing.
        os.makedirs(WORK, exist_ok=True)
        tape = os.path.join(WORK, "Tape \u00e4 7.avi")
        shutil.copy(data("pal-type2-idx1-ffmpeg.avi"), tape)
        renderer = os.path.join(BUILD, "tools", "camtag-render", "camtag-render.exe")
        env = render_session_env(script_env())

        def run(stdin, *args):
            return subprocess.run([os.path.join(SOURCE, "scripts", "wine-run.sh"), renderer, *args],
                                  input=stdin, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  timeout=120)

        def block(*args):
            text = b"".join(a.encode("utf-8") + b"\0" for a in args)
            return struct.pack("<I", len(text)) + text

        listed = run(b"", "--list-settings").stdout
        windows_tape = "Z:" + tape.replace("/", "\\")
        probed = run(b"", "--probe", windows_tape).stdout
        self.assertTrue(probed.startswith(b"ok\t"), probed)
        # A look answers with its status and length, and the spare goes on to the next block.
        reply = struct.pack("<II", 0, len(probed)) + probed
        # Input, and all of standard output.
        cases = [
            (b"", b""),  # the front needed no render
            (struct.pack("<I", 100) + b"--probe\0", b""),  # cut short
            (block("--list-settings"), listed),
            (block("--probe", windows_tape), reply),
            (block("--probe", windows_tape) + block("--list-settings"), reply + listed),
        ]
        for stdin, out in cases:
            result = run(stdin, "--arguments-on-stdin")
            self.assertEqual(result.returncode, 0, (stdin, result.stderr))
            self.assertEqual(result.stdout, out, stdin)
            self.assertEqual(result.stderr, b"", stdin)


if __name__ == "__main__":
    if SOURCE is None:
        sys.exit("usage: render_script_test.py SOURCE_DIR BUILD_DIR WORK_DIR")
    unittest.main(argv=[sys.argv[0], "-v"])
