#!/usr/bin/env python3
"""A tape at a glance: chapters per recording in the videos, the report and the contact sheet,
on a tape of two recordings made by ffmpeg with their own creation_time and timecode.
Usage: glance_script_test.py SOURCE_DIR BUILD_DIR WORK_DIR"""

import os
import re
import shutil
import subprocess
import sys
import unittest

from script_support import WORK, ffprobe, probe, render, reset_defaults

# (creation_time, timecode, the chapter title the default pictures give)
RECORDINGS = (("2004-12-24T18:30:00", "01:00:00:00", "24.12.04 18:30:00"),
              ("2005-01-01T00:00:05", "02:00:00:00", "01.01.05 00:00:05"))


class Glance(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(os.path.join(WORK, "shelf"))
        reset_defaults()
        raw = b""
        for start, (when, timecode, _) in enumerate(RECORDINGS):
            raw += subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-ss", str(start * 3), "-i",
                                   "testsrc=size=720x576:rate=25", "-frames:v", "30", "-pix_fmt", "yuv420p", "-c:v",
                                   "dvvideo", "-metadata", "creation_time=" + when, "-timecode", timecode, "-f", "dv",
                                   "-"], check=True, stdout=subprocess.PIPE).stdout
        cls.tape = os.path.join(WORK, "shelf", "tape.avi")
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-f", "dv", "-i", "-", "-c", "copy", cls.tape],
                       input=raw, check=True)
        with open(os.path.join(WORK, "shelf", "broken.avi"), "wb") as f:
            f.write(b"RIFF\x10\x00\x00\x00AVI LIST")

    def test_each_recording_is_a_chapter(self):
        # The tape again in a .mkv with a chapter of its own, which never reaches the video.
        theirs = os.path.join(WORK, "theirs.mkv")
        with open(theirs + ".txt", "w") as f:
            f.write(";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=theirs\n")
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", self.tape, "-i", theirs + ".txt", "-map", "0",
                        "-map_chapters", "1", "-c", "copy", theirs], check=True)
        ours = [(0.0, RECORDINGS[0][2]), (1.2, RECORDINGS[1][2])]
        for tape, args, name, expected in (
                (self.tape, (), "tape.mp4", ours),
                (self.tape, (), "tape.mkv", ours),
                (self.tape, ("--set", "timeadjust=1:0:0", "--time-format", "HH:mm"), "later.mov",
                 [(0.0, "24.12.04 19:30"), (1.2, "01.01.05 01:00")]),
                (self.tape, ("--no-chapters",), "none.mp4", []),
                (theirs, (), "ours.mp4", ours),
                (theirs, ("--no-chapters",), "none-of-theirs.mp4", [])):
            with self.subTest(name):
                out = os.path.join(WORK, name)
                result = render(tape, out, *args)
                self.assertEqual(result.returncode, 0, result.stderr)
                chapters = ffprobe(out, "-show_chapters")["chapters"]
                self.assertEqual([(round(float(c["start_time"]), 3), c["tags"]["title"]) for c in chapters], expected)
        # A piece of one recording is not cut into chapters.
        result = render(self.tape, os.path.join(WORK, "pieces") + "/", "--split")
        self.assertEqual(result.returncode, 0, result.stderr)
        for piece in os.listdir(os.path.join(WORK, "pieces")):
            self.assertEqual(ffprobe(os.path.join(WORK, "pieces", piece), "-show_chapters")["chapters"], [])

    def test_the_report_and_the_contact_sheet(self):
        folder = os.path.join(WORK, "report")
        result = probe("--report", folder, os.path.join(WORK, "shelf"))
        self.assertEqual(result.returncode, 1, result.stderr)  # one file could not be read
        with open(os.path.join(folder, "index.html"), encoding="utf-8") as f:
            page = f.read()
        self.assertRegex(page, r'class="failed">[^<]*broken\.avi: AVI header read error, and it cannot be remuxed')
        rows = re.findall(r'<tr class="recording" data-first="(\d+)" data-last="(\d+)"><td>([^<]*)</td><td>([^<]*)'
                          r'</td><td>([^<]*)</td><td>([^<]*)</td><td>([^<]*)</td>.*?src="([^"]+)"', page)
        self.assertEqual([r[:7] for r in rows], [
            ("0", "29", "2004-12-24 18:30:00", "2004-12-24 18:30:01", "0:01", "01:00:00:00", "01:00:01:04"),
            ("30", "59", "2005-01-01 00:00:05", "2005-01-01 00:00:06", "0:01", "02:00:00:00", "02:00:01:04")],
            result.stderr)
        self.assertIn("0:02 (60 frames), 2 recordings", page)
        for picture in [r[7] for r in rows] + re.findall(r'class="strip" src="([^"]+)"', page):
            with open(os.path.join(folder, picture), "rb") as f:
                self.assertIn(f.read(8)[:5], (b"\x89PNG\r", b"<svg "), picture)
        # Offline: nothing the page loads comes from elsewhere.
        self.assertNotRegex(page, r"(src|href)=\"(https?:|//)|<script")

        sheet = os.path.join(WORK, "sheet.png")
        result = probe("--contact-sheet", sheet, self.tape)
        self.assertEqual(result.returncode, 0, result.stderr)
        size = ffprobe(sheet, "-show_entries", "stream=width,height")["streams"][0]
        self.assertEqual((size["width"], size["height"]), (2 * 320 + 3 * 8, 272 + 2 * 8))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
