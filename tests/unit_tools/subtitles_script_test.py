#!/usr/bin/env python3
"""The recording date and time without burning it in: camtag-probe's recordings and subtitle
files, render.sh's subtitle tracks, --no-stamp and --split, on a tape spliced from the fixtures
(a camcorder recording, a stretch of blank tape, a second recording), with every break and cue
time checked exactly and the subtitles read back by ffmpeg.
Usage: subtitles_script_test.py SOURCE_DIR BUILD_DIR WORK_DIR"""

import json
import os
import shutil
import subprocess
import sys
import unittest

from script_support import SOURCE, WIDTH, WORK, data, decode, ffprobe, probe, render, reset_defaults, splice

CAMCORDER = data("ntsc-camcorder-5frames.dv")  # 5 frames, 2024-07-08 19:55:58, 00:00:02;17 on
BLANK = data("ntsc-type2-idx1-ffmpeg-blank-tape.avi")  # 1 frame, no packs at all
DROPFRAME = data("ntsc-type2-idx1-ffmpeg-dropframe.avi")  # 4 frames, 1999-12-31 23:59:59, ;28 ;29 ;02 ;03


def ms(frame):
    """Frame n of a 30000/1001 file, in whole milliseconds, rounded down."""
    return frame * 1001 // 30


class Subtitles(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        reset_defaults()
        # Frames 0-4 the camcorder, 5-7 blank tape, 8-11 the second recording.
        cls.tape = splice(os.path.join(WORK, "tape.avi"), [(CAMCORDER, 1), (BLANK, 3), (DROPFRAME, 1)])

    def test_breaks_and_json_name_every_recording(self):
        result = probe("--breaks", self.tape)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.splitlines(), [
            "0\t4\t2024-07-08 19:55:58\t2024-07-08 19:55:58\t00:00:02;17",
            "5\t7\t-\t-\t-",
            "8\t11\t1999-12-31 23:59:59\t1999-12-31 23:59:59\t00:00:59;28",
        ], "the drop-frame step ;29 -> ;02 within the second recording is no break")
        result = probe("--json", self.tape)
        self.assertEqual(result.returncode, 0, result.stderr)
        facts = json.loads(result.stdout)
        self.assertEqual((facts["frame_count"], facts["rate"], facts["tv_system"]), (12, "30000/1001", "NTSC"))
        self.assertEqual(facts["recordings"][0], {"first": 0, "last": 4, "start": "2024-07-08T19:55:58",
                                                  "end": "2024-07-08T19:55:58", "start_timecode": "00:00:02;17"})
        self.assertEqual(facts["recordings"][1], {"first": 5, "last": 7, "start": None, "end": None,
                                                  "start_timecode": None})
        self.assertEqual([f["frame"] for f in facts["frames"]], list(range(12)))
        self.assertEqual(facts["frames"][6], {"frame": 6, "recorded": None, "timecode": None})
        result = probe("--frames", "6", self.tape)
        self.assertEqual(result.stdout, "6\t-\t-\t-\n", "no timecode pack: none shown, not 00:00:00;00")
        self.assertEqual(facts["frames"][10], {"frame": 10, "recorded": "1999-12-31T23:59:59",
                                               "timecode": "00:01:00;02"})

    def test_dates_that_ffmpeg_f_dv_rewrote_are_named(self):
        rewritten = os.path.join(WORK, "rewritten.dv")
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", CAMCORDER, "-map", "0:v", "-c", "copy",
                        "-f", "dv", rewritten], check=True)
        warning = ("warning: %s: every recording date is 1970-01-01: the camcorder's dates were probably overwritten "
                   "by the program that wrote the file (ffmpeg -f dv does so); --set mode=timecode" % rewritten)
        self.assertIn("camtag-probe: " + warning, probe("--breaks", rewritten).stderr)
        self.assertIn("render: " + warning, render(rewritten, os.path.join(WORK, "1970") + "/", "--frames", "2").stderr)
        self.assertNotIn("1970", probe(CAMCORDER).stderr + render(CAMCORDER, os.path.join(WORK, "kept") + "/").stderr)

    def test_cues_are_frame_exact_and_ffmpeg_reads_them(self):
        srt, vtt = os.path.join(WORK, "tape.srt"), os.path.join(WORK, "tape.vtt")
        result = probe("--srt", srt, "--vtt", vtt, self.tape)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "", "only the files are written")
        with open(srt, encoding="utf-8") as f:
            self.assertEqual(f.read(), "1\n00:00:00,000 --> 00:00:00,166\n19:55:58\n08.07.24\n\n"
                                       "2\n00:00:00,266 --> 00:00:00,400\n23:59:59\n31.12.99\n\n")
        for path in (srt, vtt):
            packets = ffprobe(path, "-show_entries", "packet=pts_time,duration_time")["packets"]
            self.assertEqual([(round(float(p["pts_time"]) * 1000), round(float(p["duration_time"]) * 1000))
                              for p in packets],
                             [(0, ms(5)), (ms(8), ms(12) - ms(8))], path)
        # The text follows the options as the renderer takes them, UTF-8 in and out.
        result = probe("--srt", "-", "--frames", "8-11", "--time-format", "HH'h'mm", "--set", "dateformat=0",
                       "--set", "title=F\u00eate \\n", self.tape)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "1\n00:00:00,000 --> 00:00:00,133\nF\u00eate \n23h59\n\n",
                         "times count from the first frame asked for")
        result = probe("--srt", "-", "--set", "title=\u0141\u00f3d\u017a", self.tape)
        self.assertEqual(result.returncode, 2)
        self.assertIn("title: the character \"\u0141\" (U+0141) is not in the module's code page 1252", result.stderr)

    def test_render_adds_a_subtitle_track_in_either_container(self):
        # Both containers record the fields as bottom first ("bt": Matroska's field order 14).
        for name, codec, fields in (("tape.mp4", "mov_text", "bb"), ("tape.mkv", "subrip", "bt")):
            out = os.path.join(WORK, name)
            result = render(self.tape, out, "--subtitles")
            self.assertEqual(result.returncode, 0, result.stderr)
            streams = ffprobe(out, "-show_entries", "stream=codec_type,codec_name")["streams"]
            self.assertIn({"codec_type": "subtitle", "codec_name": codec}, streams)
            self.assertNotIn("audio", [s["codec_type"] for s in streams], "the tape has no sound")
            # mp4 fills the gap between two cues with an empty one (2 bytes).
            packets = ffprobe(out, "-select_streams", "s", "-show_entries", "packet=pts_time,size")["packets"]
            self.assertEqual([round(float(p["pts_time"]) * 1000) for p in packets if int(p["size"]) > 2],
                             [0, ms(8)], name)
            video = ffprobe(out, "-count_frames", "-select_streams", "v", "-show_entries",
                            "stream=nb_read_frames,field_order")["streams"][0]
            self.assertEqual(video["nb_read_frames"], "12", "the subtitles never shorten the video")
            self.assertEqual(video["field_order"], fields, name)

    def test_no_stamp_leaves_the_picture_alone(self):
        stamped, plain = os.path.join(WORK, "stamped.mp4"), os.path.join(WORK, "plain.mp4")
        self.assertEqual(render(CAMCORDER, stamped, "--frames", "1").returncode, 0)
        result = render(CAMCORDER, plain, "--frames", "1", "--no-stamp", "--subtitles")
        self.assertEqual(result.returncode, 0, result.stderr)
        # (an .mp4's chapters come as a data stream of their own)
        self.assertIn("subtitle", [s["codec_type"] for s in ffprobe(plain, "-show_entries", "stream=codec_type")["streams"]])
        original = decode(CAMCORDER)

        def stamp_area_difference(path):
            # Rows 360 to 440, columns 50 to 300: where the default stamp stands.
            frame = decode(path)
            total = count = 0
            for y in range(360, 440):
                for x in range(50 * 3, 300 * 3):
                    total += abs(frame[y * WIDTH * 3 + x] - original[y * WIDTH * 3 + x])
                    count += 1
            return total / count
        self.assertLess(stamp_area_difference(plain), 4, "only the encoder's loss")
        self.assertGreater(stamp_area_difference(stamped), 10)

    def test_the_sound_comes_along_under_a_name_ffmpeg_could_take_for_a_protocol(self):
        shutil.copy(CAMCORDER, os.path.join(WORK, "cam:1.dv"))
        result = render("cam:1.dv", "cam.mp4", "--frames", "2", cwd=WORK)
        self.assertEqual(result.returncode, 0, result.stderr)
        kinds = [s["codec_type"] for s in ffprobe(os.path.join(WORK, "cam.mp4"), "-show_entries", "stream=codec_type")["streams"]]
        self.assertIn("audio", kinds)

    def test_split_writes_each_recording_named_by_its_start(self):
        # A second copy of the camcorder recording, a day later: the same pictures, so a piece
        # split off is the very video a render of that copy alone gives, stamp included, only if
        # the piece was stamped with its own frames' dates.
        with open(CAMCORDER, "rb") as f:
            frames = bytearray(f.read())
        for frame in range(5):
            pack = frame * 120000 + 6 * 12000 + 458  # the VAUX date pack of DIF sequence 6
            self.assertEqual((frames[pack], frames[pack + 2] & 0x3F), (0x62, 0x08))
            frames[pack + 2] = (frames[pack + 2] & 0xC0) | 0x09  # the day; the top bits are reserved
        later = os.path.join(WORK, "later.dv")
        with open(later, "wb") as f:
            f.write(frames)
        tape = splice(os.path.join(WORK, "two-days.avi"), [(CAMCORDER, 1), (BLANK, 3), (later, 1)])
        out = os.path.join(WORK, "pieces")
        result = render(tape, os.path.join(out, "holiday.mp4"), "--split")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(out)), ["holiday_2024-07-08_19-55-58.mp4", "holiday_2024-07-09_19-55-58.mp4",
                                                   "holiday_frame-5.mp4"])
        for name, count, created in (("holiday_2024-07-08_19-55-58.mp4", "5", "2024-07-08T19:55:58.000000Z"),
                                     ("holiday_frame-5.mp4", "3", None),
                                     ("holiday_2024-07-09_19-55-58.mp4", "5", "2024-07-09T19:55:58.000000Z")):
            facts = ffprobe(os.path.join(out, name), "-count_frames", "-select_streams", "v", "-show_entries",
                            "stream=nb_read_frames:format_tags=creation_time")
            self.assertEqual(facts["streams"][0]["nb_read_frames"], count, name)
            self.assertEqual(facts["format"].get("tags", {}).get("creation_time"), created, name)
        alone = os.path.join(WORK, "later.mp4")
        self.assertEqual(render(later, alone).returncode, 0)
        self.assertEqual(decode(os.path.join(out, "holiday_2024-07-09_19-55-58.mp4"), 5), decode(alone, 5))
        self.assertNotEqual(decode(os.path.join(out, "holiday_2024-07-08_19-55-58.mp4"), 5), decode(alone, 5))


if __name__ == "__main__":
    if SOURCE is None:
        sys.exit("usage: subtitles_script_test.py SOURCE_DIR BUILD_DIR WORK_DIR")
    unittest.main(argv=[sys.argv[0], "-v"])
