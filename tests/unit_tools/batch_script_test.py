#!/usr/bin/env python3
"""render.sh for a shelf of tapes: batches and folders in one Wine session with runs side by
side that never meet, any DV file remuxed with its own dates, text in UTF-8, every bad input
refused with its message and status, and the warnings a result deserves.
Usage: batch_script_test.py SOURCE_DIR BUILD_DIR WORK_DIR"""

import os
import shutil
import subprocess
import sys
import unittest

from script_support import SOURCE, WORK, data, decode, ffprobe, registry, render, reset_defaults

PAL = data("pal-type2-idx1-ffmpeg.avi")  # 4 frames, 2004-07-15 14:23:05
CAMCORDER = data("ntsc-type2-idx1-dvgrab-camcorder.avi")  # 5 frames, 2024-07-08 19:55:58
RAW = data("ntsc-camcorder-5frames.dv")  # the same 5 DV frames, no container
DROPFRAME = data("ntsc-type2-idx1-ffmpeg-dropframe.avi")  # 4 frames, 1999-12-31 23:59:59
BLANK = data("ntsc-type2-idx1-ffmpeg-blank-tape.avi")  # no recording date


def frames_of(path, count):
    """A video's frames (PAL or NTSC) as BGR bytes, decoded by ffmpeg."""
    return subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-frames:v", str(count), "-f", "rawvideo",
                           "-pix_fmt", "bgr24", "-"], check=True, stdout=subprocess.PIPE).stdout


def frame_count(path):
    return int(ffprobe(path, "-count_frames", "-select_streams", "v",
                       "-show_entries", "stream=nb_read_frames")["streams"][0]["nb_read_frames"])


class Batches(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        reset_defaults()

    def test_two_batches_side_by_side_never_meet(self):
        # A longer clip, so that the other batch starts and ends while this one still runs.
        long_clip = os.path.join(WORK, "long.avi")
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "testsrc2=size=720x576:rate=25:duration=10", "-c:v", "dvvideo", "-pix_fmt", "yuv420p",
                        "-metadata", "creation_time=2004-07-15T14:23:05Z", "-f", "dv", long_clip + ".dv"], check=True)
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", long_clip + ".dv", "-c", "copy", long_clip],
                       check=True)
        tapes = [PAL, CAMCORDER, DROPFRAME]
        pictures = {"a": "HH'h'mm", "b": "mm'm'ss"}
        # Each picture alone first, one file at a time.
        for key, picture in pictures.items():
            for tape in tapes:
                out = os.path.join(WORK, "alone-" + key, os.path.basename(tape)[:-4] + ".mp4")
                result = render(tape, out, "--time-format", picture)
                self.assertEqual(result.returncode, 0, result.stderr)
        first = render(long_clip, *tapes, os.path.join(WORK, "side-a") + "/", "--time-format", pictures["a"],
                       background=True)
        second = render(*tapes, os.path.join(WORK, "side-b") + "/", "--time-format", pictures["b"], background=True)
        _, second_errors = second.communicate(timeout=600)
        self.assertEqual(second.returncode, 0, second_errors)
        self.assertIsNone(first.poll(), "the first batch was still running when the second ended")
        _, first_errors = first.communicate(timeout=600)
        self.assertEqual(first.returncode, 0, first_errors)
        self.assertEqual(frame_count(os.path.join(WORK, "side-a", "long.mp4")), 250)
        # One summary line per file, named as the user named it.
        self.assertEqual(len([l for l in second_errors.splitlines() if " -> " in l]), 3, second_errors)
        self.assertNotIn("Z:\\", first_errors + second_errors)
        for key in pictures:
            for tape in tapes:
                name = os.path.basename(tape)[:-4] + ".mp4"
                alone = os.path.join(WORK, "alone-" + key, name)
                beside = os.path.join(WORK, "side-" + key, name)
                count = frame_count(alone)
                self.assertEqual(frames_of(beside, count), frames_of(alone, count), name + " with " + key)
        self.assertNotEqual(frames_of(os.path.join(WORK, "side-a", "pal-type2-idx1-ffmpeg.mp4"), 1),
                            frames_of(os.path.join(WORK, "side-b", "pal-type2-idx1-ffmpeg.mp4"), 1))
        # The user's key never held either picture, and no run's private copy is left.
        keys = registry("query", "HKCU", "/s", "/f", "Camtag")
        self.assertNotIn("HH'h'mm", keys)
        self.assertNotIn("Camtag-run-", keys)

    def test_a_folder_of_tapes(self):
        shelf = os.path.join(WORK, "shelf")
        os.makedirs(shelf)
        for name in (PAL, RAW):
            shutil.copy(name, shelf)
        with open(os.path.join(shelf, "notes.txt"), "w") as f:
            f.write("not a tape\n")
        out = os.path.join(WORK, "shelf-out")
        result = render(shelf, out + "/", "--format", "mkv")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(out)), ["ntsc-camcorder-5frames.mkv", "pal-type2-idx1-ffmpeg.mkv"])
        self.assertEqual(ffprobe(os.path.join(out, "pal-type2-idx1-ffmpeg.mkv"),
                                 "-show_entries", "format_tags=creation_time")["format"]["tags"]["creation_time"],
                         "2004-07-15T14:23:05.000000Z")

    def test_any_dv_file_is_stamped_with_its_own_dates(self):
        """A raw DV stream and a capture cut short (index and last frame lost) are remuxed and
        stamped exactly as the whole AVI with the same DV frames."""
        direct = os.path.join(WORK, "direct") + "/"
        self.assertEqual(render(CAMCORDER, direct, "--set", "title=%f\\n").returncode, 0)
        # The same file under the raw stream's name: %f names the file the user gave.
        named = os.path.join(WORK, "named")
        os.makedirs(named)
        shutil.copy(CAMCORDER, os.path.join(named, "ntsc-camcorder-5frames.dv"))
        self.assertEqual(render(os.path.join(named, "ntsc-camcorder-5frames.dv"), os.path.join(WORK, "named-out") + "/",
                                "--set", "title=%f\\n").returncode, 0)
        remuxed = os.path.join(WORK, "remuxed") + "/"
        result = render(RAW, remuxed, "--set", "title=%f\\n")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr.count("remuxed with ffmpeg -c copy into a temporary DV AVI"), 1, result.stderr)
        for n in range(1, 6):
            name = "frame-%06d.png" % n
            self.assertEqual(decode(remuxed + name), decode(os.path.join(WORK, "named-out", name)), name)
        self.assertNotEqual(decode(remuxed + "frame-000001.png"), decode(direct + "frame-000001.png"),
                            "the title names the file")

        cut = os.path.join(WORK, "cut.avi")
        with open(CAMCORDER, "rb") as f:
            whole = f.read()
        with open(cut, "wb") as f:
            f.write(whole[:560000])  # the index and most of the last frame are gone
        plain = os.path.join(WORK, "plain") + "/"
        self.assertEqual(render(CAMCORDER, plain).returncode, 0)
        result = render(cut, os.path.join(WORK, "cut") + "/")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("cut.avi: Index read error; remuxed with ffmpeg -c copy into a temporary DV AVI\n", result.stderr)
        # The half frame at the cut comes through as a frame the decoder conceals: the count
        # the remuxed file plans is the count written.
        self.assertIn("cut: 5 frames in", result.stderr)
        for n in range(1, 5):
            name = "frame-%06d.png" % n
            self.assertEqual(decode(os.path.join(WORK, "cut", name)), decode(plain + name), name)

    def test_text_in_utf8_is_the_module_s_own(self):
        utf8 = os.path.join(WORK, "utf8") + "/"
        result = render(CAMCORDER, utf8, "--frames", "1", "--set", "title=F\u00eate \u00e0 No\u00ebl ",
                        "--date-format", "d MMMM '\u00e0' yyyy")
        self.assertEqual(result.returncode, 0, result.stderr)
        # The same title and picture given in the module's own code page: a record holding the
        # title's bytes, and the picture as ANSI text is what the module keeps in its list.
        look = os.path.join(WORK, "look.bin")
        self.assertEqual(render(CAMCORDER, os.path.join(WORK, "scratch") + "/", "--frames", "1", "--save-settings", look)
                         .returncode, 0)
        with open(look, "rb") as f:
            record = bytearray(f.read())
        title = "F\u00eate \u00e0 No\u00ebl ".encode("cp1252")
        record[12 + 446:12 + 478] = title + bytes(32 - len(title))  # after the look's tag
        with open(look, "wb") as f:
            f.write(record)
        ansi = os.path.join(WORK, "ansi") + "/"
        result = render(CAMCORDER, ansi, "--frames", "1", "--settings", look, "--date-format", "d MMMM '\u00e0' yyyy")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(decode(utf8 + "frame-000001.png"), decode(ansi + "frame-000001.png"))
        plain = os.path.join(WORK, "ascii") + "/"
        self.assertEqual(render(CAMCORDER, plain, "--frames", "1", "--set", "title=Fete a Noel ",
                                "--date-format", "d MMMM 'a' yyyy").returncode, 0)
        self.assertNotEqual(decode(utf8 + "frame-000001.png"), decode(plain + "frame-000001.png"))

    def test_bad_input_is_refused_with_what_is_allowed(self):
        out = os.path.join(WORK, "never.mp4")
        short = os.path.join(WORK, "short.bin")
        with open(short, "wb") as f:
            f.write(b"abc")
        cases = [
            (["--settings", short], "%s: not a look saved by --save-settings (nor a 506-byte settings record; 3 bytes found)" % short),
            (["--set", "title=" + "x" * 32], "title: at most 31 characters (given: 32)"),
            (["--set", "title=\u2713 done"], "title: the character \"\u2713\" (U+2713) is not in the module's code page 1252"),
            (["--set", "transparency=101"], "transparency: 0 to 100 (percent) (given: \"101\")"),
            (["--set", "y=3"], "y: a number from -1 to 2"),
            (["--set", "colour=#FFFFFF"], "unknown setting \"colour\""),
            (["--time-format", "bogus"], "--time-format \"bogus\": \"b\" is not a time token"),
            (["--date-format", "x" * 29], "at most 28 characters (given: 29)"),
            (["--frames", "0"], "--frames 0: expected a positive number"),
            (["--format", "avi"], "--format avi: mp4, mov, mkv, m4v or png"),
            (["--dialog", "--time-format", "HH"], "choose or edit the pictures in the dialog instead"),
        ]
        for args, message in cases:
            result = render(PAL, out, *args)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn(message, result.stderr, args)
            self.assertNotIn("Z:\\", result.stderr)
        for args, status, message in [
            ([os.path.join(SOURCE, "CMakeLists.txt"), out], 1,
             "CMakeLists.txt: This file is not RIFF AVI, and it cannot be remuxed: ffmpeg reads its video as ansi, not DV"),
            ([os.path.join(WORK, "no-such.avi"), out], 2, "no-such.avi: no such file"),
            ([PAL, os.path.join(WORK, "x.avi")], 2, "write .mp4, .mov, .mkv or .m4v"),
            ([PAL, CAMCORDER, os.path.join(WORK, "x.mp4")], 2, "a batch writes into a folder"),
        ]:
            result = render(*args)
            self.assertEqual(result.returncode, status, args)
            self.assertIn(message, result.stderr, args)
        self.assertFalse(os.path.exists(out))

    def test_results_that_deserve_a_word(self):
        result = render(BLANK, os.path.join(WORK, "blank.mp4"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("blank-tape.avi: no frame holds a recording date and time", result.stderr)
        self.assertIn("--set mode=timecode", result.stderr)
        # The timecode example: title and three timecodes from 0.75 down do not fit 480 rows.
        result = render(CAMCORDER, os.path.join(WORK, "timecode.mp4"), "--set", "mode=timecode", "--set",
                        "bkground=1", "--set", "title=Tape 3 ")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertRegex(result.stderr, r"the stamp reaches \d+ pixels below the frame: set y to 0\.\d\d or less "
                                        r"\(now 0\.75\)")
        result = render(CAMCORDER, os.path.join(WORK, "fits.mp4"), "--set", "mode=timecode", "--set", "y=0.6")
        self.assertNotIn("warning", result.stderr)
        # The recording date and time, as the settings adjust it, is the video's creation time.
        out = os.path.join(WORK, "adjusted.mp4")
        self.assertEqual(render(CAMCORDER, out, "--set", "timeadjust=1:30:0").returncode, 0)
        self.assertEqual(ffprobe(out, "-show_entries", "format_tags=creation_time")["format"]["tags"]["creation_time"],
                         "2024-07-08T21:25:58.000000Z")


if __name__ == "__main__":
    if SOURCE is None:
        sys.exit("usage: batch_script_test.py SOURCE_DIR BUILD_DIR WORK_DIR")
    unittest.main(argv=[sys.argv[0], "-v"])
