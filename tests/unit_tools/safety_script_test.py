#!/usr/bin/env python3
"""render.sh never harms a user's file and never calls a short result success: DV in other
containers stamped frame-exact, names the module's code page cannot hold, outputs that are
inputs, a decoder that stops early, Ctrl-C during a batch.
Usage: safety_script_test.py SOURCE_DIR BUILD_DIR WORK_DIR"""

import hashlib
import os
import struct
import shutil
import signal
import subprocess
import sys
import time
import unittest

from script_support import WORK, data, probe, render, reset_defaults, script_env, SOURCE

PAL = data("pal-type2-idx1-ffmpeg.avi")
NTSC = data("ntsc-type2-idx1-dvgrab-camcorder.avi")


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def frames(folder):
    return {name: digest(os.path.join(folder, name)) for name in sorted(os.listdir(folder))}


def leftovers(folder):
    """Temporary outputs a run left behind."""
    found = []
    for where, _, names in os.walk(folder):
        found += [os.path.join(where, n) for n in names + [] if ".camtag-" in n]
        found += [where] if ".camtag-" in os.path.basename(where) else []
    return found


def chunk(cid, payload):
    return cid + struct.pack("<I", len(payload)) + payload + (b"\0" if len(payload) % 2 else b"")


def riff_list(kind, body):
    return b"LIST" + struct.pack("<I", len(body) + 4) + kind + body


def seek_misleading_avi(path, frames):
    """A PAL DV AVI with sound ahead of the pictures and a video stream that starts two frames
    late (dwStart): a time seek lands two index frames early, so only counting frames in index
    order finds frame n."""
    n, size, sound = len(frames), len(frames[0]), bytes(48000 // 25 * 4)
    avih = struct.pack("<10I4I", 40000, 0, 0, 0x10, n, 0, 2, 0, 720, 576, 0, 0, 0, 0)
    video = b"vidsdvsd" + struct.pack("<IHHIIIIIIIIhhhh", 0, 0, 0, 0, 1, 25, 2, n, size, 0xFFFFFFFF, 0, 0, 0, 720, 576)
    bitmap = struct.pack("<IiiHH4sIiiII", 40, 720, 576, 1, 24, b"dvsd", size, 0, 0, 0, 0)
    audio = b"auds\0\0\0\0" + struct.pack("<IHHIIIIIIIIhhhh", 0, 0, 0, 0, 1, 48000, 0, n * len(sound) // 4, 0,
                                            0xFFFFFFFF, 4, 0, 0, 0, 0)
    wave = struct.pack("<HHIIHH", 1, 2, 48000, 192000, 4, 16)
    header = riff_list(b"hdrl", chunk(b"avih", avih) + riff_list(b"strl", chunk(b"strh", video) + chunk(b"strf", bitmap))
                       + riff_list(b"strl", chunk(b"strh", audio) + chunk(b"strf", wave)))
    movi, index, at = b"", b"", 4
    for cid, payload in [(b"01wb", sound)] * 12 + [c for f in frames for c in ((b"00dc", f), (b"01wb", sound))]:
        index += cid + struct.pack("<III", 0x10, at, len(payload))
        movi += chunk(cid, payload)
        at += 8 + len(payload) + len(payload) % 2
    body = b"AVI " + header + riff_list(b"movi", movi) + chunk(b"idx1", index)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)
    return path


def top_rows(path, count, rows, flipped=False):
    """The first rows of each PAL frame as BGR bytes; flipped: decoded upside down and turned
    back, as the renderer hands frames to the host (the colour conversion then runs alike)."""
    raw = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-vf", "vflip" if flipped else "null",
                          "-frames:v", str(count), "-f", "rawvideo", "-pix_fmt", "bgr24", "-"],
                         check=True, stdout=subprocess.PIPE).stdout
    line = 720 * 3
    frames = [raw[i:i + line * 576] for i in range(0, len(raw), line * 576)]
    if flipped:
        frames = [b"".join(f[(576 - 1 - r) * line:(576 - r) * line] for r in range(rows)) for f in frames]
    return [f[:line * rows] for f in frames]


def signatures(path, count):
    """Each frame as 16x16 grey levels: enough to tell apart the test pattern's frames."""
    raw = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-vf", "scale=16:16", "-frames:v", str(count),
                          "-f", "rawvideo", "-pix_fmt", "gray", "-"], check=True, stdout=subprocess.PIPE).stdout
    return [raw[i:i + 256] for i in range(0, len(raw), 256)]


def nearest(signature, candidates):
    return min(range(len(candidates)), key=lambda i: sum(abs(a - b) for a, b in zip(signature, candidates[i])))


class Safety(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        reset_defaults()

    def copy(self, source, name):
        path = os.path.join(WORK, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", source, "-map", "0:v", "-c", "copy", path],
                       check=True)
        return path

    def test_dv_in_other_containers_is_stamped_frame_exact(self):
        """Every frame of a .mov or .mkv render equals the frame of the AVI it came from."""
        for source, kind in ((PAL, "mov"), (PAL, "mkv"), (NTSC, "mov"), (NTSC, "mkv")):
            name = "%s-%s" % (os.path.basename(source)[:3], kind)
            with self.subTest(name):
                wrapped = self.copy(source, os.path.join("wrapped", name + "." + kind))
                direct, remuxed = os.path.join(WORK, name + "-avi") + "/", os.path.join(WORK, name + "-frames") + "/"
                self.assertEqual(render(source, direct).returncode, 0)
                result = render(wrapped, remuxed)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn("remuxed with ffmpeg -c copy", result.stderr)
                self.assertEqual(frames(remuxed), frames(direct))

    def test_each_frame_carries_the_picture_of_its_index_frame(self):
        """Two recordings of numbered pictures in a container that misleads time seeks: a whole
        render, a --split piece that starts mid-file and a probe range agree with the index."""
        frames = []
        for start, when in ((0, "2004-07-15T14:23:05"), (5, "2010-01-02T03:04:05")):
            raw = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-ss", str(start), "-i",
                                  "testsrc=size=720x576:rate=25", "-frames:v", "6", "-pix_fmt", "yuv420p", "-c:v",
                                  "dvvideo", "-metadata", "creation_time=" + when, "-f", "dv", "-"],
                                 check=True, stdout=subprocess.PIPE).stdout
            frames += [raw[i:i + 144000] for i in range(0, len(raw), 144000)]
        tape = seek_misleading_avi(os.path.join(WORK, "misleading.avi"), frames)
        plain = os.path.join(WORK, "plain.avi")
        with open(plain, "wb") as f:  # the same frames, decoded in index order by ffmpeg itself
            subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-f", "dv", "-i", "-", "-c", "copy", "-f", "avi",
                            "-"], input=b"".join(frames), check=True, stdout=f)
        whole = os.path.join(WORK, "whole") + "/"
        self.assertEqual(render(tape, whole, "--set", "y=0.9").returncode, 0)
        expected = top_rows(plain, 12, 400, flipped=True)  # above the stamp
        for n in range(12):
            self.assertEqual(top_rows(os.path.join(whole, "frame-%06d.png" % (n + 1)), 1, 400)[0], expected[n],
                             "frame %d" % n)
        self.assertEqual(len(os.listdir(whole)), 12)
        pieces = os.path.join(WORK, "pieces") + "/"
        result = render(tape, pieces, "--split")
        self.assertEqual(result.returncode, 0, result.stderr)
        second = os.path.join(pieces, "misleading_2010-01-02_03-04-05.mp4")
        sources = signatures(plain, 12)
        self.assertEqual([nearest(sig, sources) for sig in signatures(second, 6)], list(range(6, 12)))
        result = probe("--frames", "6-7", "--srt", "-", tape)
        self.assertIn("03:04:05", result.stdout, result.stderr)

    def test_names_the_code_page_cannot_hold(self):
        for name in ("\u0141\u00f3d\u017a \u65e5\u672c.avi", 'say "cheese".avi', "100%/clip.avi"):
            with self.subTest(name):
                path = os.path.join(WORK, "names", name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                shutil.copy(PAL, path)
                out = os.path.join(os.path.dirname(path), "frames %d/" % len(name))
                result = render(path, out, "--set", "title=%f\\n")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(len(os.listdir(out)), 4)

    def test_an_output_never_replaces_an_input_or_an_existing_file(self):
        tapes = os.path.join(WORK, "tapes")
        os.makedirs(tapes)
        trip_dv = os.path.join(tapes, "trip.dv")
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", PAL, "-c", "copy", "-f", "rawvideo", trip_dv],
                       check=True)
        trip_mov = self.copy(PAL, os.path.join("tapes", "trip.mov"))
        os.link(trip_mov, os.path.join(tapes, "also.mov"))
        before = frames(tapes)
        for args in ((trip_mov, trip_mov), ("--format", "mov", tapes + "/", tapes + "/"),
                     ("--overwrite", trip_mov, trip_mov), ("--overwrite", trip_mov, os.path.join(tapes, "also.mov"))):
            with self.subTest(args):
                result = render(*args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertEqual(frames(tapes), before)
        # Two inputs of one name in a batch: two outputs; again: refused, then skipped.
        a, b = os.path.join(WORK, "a", "clip.avi"), os.path.join(WORK, "b", "clip.avi")
        for path, source in ((a, PAL), (b, NTSC)):
            os.makedirs(os.path.dirname(path))
            shutil.copy(source, path)
        out = os.path.join(WORK, "batch") + "/"
        self.assertEqual(render(a, b, out).returncode, 0)
        self.assertEqual(sorted(os.listdir(out)), ["clip-2.mp4", "clip.mp4"])
        mask = os.umask(0)
        os.umask(mask)
        self.assertEqual(os.stat(os.path.join(out, "clip.mp4")).st_mode & 0o777, 0o666 & ~mask)  # not a temp file's
        written = frames(out)
        result = render(a, b, out)
        self.assertEqual(result.returncode, 2)
        self.assertIn("--overwrite replaces it, --skip-existing", result.stderr)
        self.assertEqual(render(a, b, out, "--skip-existing").returncode, 0)
        self.assertEqual(frames(out), written)

    def test_a_decoder_that_stops_early_fails_the_file(self):
        """A decoder that ends early, quietly or with an error, an encoder that fails on the way,
        or a renderer that dies while the decoder goes on: nothing at the output name, and the
        words name the one that failed. A still beside the video takes ffmpeg's decoder, a video
        alone the front's own."""
        wrapper = os.path.join(WORK, "bin")
        os.makedirs(wrapper, exist_ok=True)
        real = shutil.which("ffmpeg")
        # A tape long enough to be still rendering when its renderer is killed.
        tape = os.path.join(WORK, "long.dv")
        raw = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", PAL, "-c", "copy", "-f", "rawvideo", "-"],
                             check=True, stdout=subprocess.PIPE).stdout
        with open(tape, "wb") as f:
            f.write(raw * 50)
        # The decoding ffmpeg (the one writing raw frames to its output) stops after two frames;
        # the encoding one (reading them) fails within the first.
        decoder = '*"-f rawvideo -pix_fmt"*" -") "%s" "$@" | head -c %d; exit %%d ;;' % (real, 2 * 720 * 576 * 3 // 2)
        # The renderer, a child of the front as the decoder is, killed after two frames.
        killer = ('*"-f rawvideo -pix_fmt"*" -") "%s" "$@" | { head -c %d; pkill -KILL -P $PPID -f camtag-render; '
                  'cat; }; exit 1 ;;' % (real, 2 * 720 * 576 * 3 // 2))
        # Or by the muxer of the front's own encoding, as it starts.
        muxer = '*"-f nut -i -"*) pkill -KILL -P $PPID -f camtag-render ;;'
        still = os.path.join(WORK, "still.png")
        with_still = [PAL, "--still", still]
        for n, (case, says, inputs) in enumerate(((decoder % 0, "the decoder delivered 2 of 4 frames", with_still),
                                                  (decoder % 1, "the decoder (ffmpeg) failed", with_still),
                                                  ('*"-i - "*) head -c 100000 >/dev/null; exit 3 ;;',
                                                   "the encoder (ffmpeg) failed with exit status 3", [PAL]),
                                                  (killer, "stamping failed", with_still),
                                                  (muxer, "stamping failed", [tape]))):
            with self.subTest(says, inputs=inputs):
                with open(os.path.join(wrapper, "ffmpeg"), "w") as f:
                    f.write('#!/bin/sh\ncase "$*" in %s esac\nexec "%s" "$@"\n' % (case, real))
                os.chmod(os.path.join(wrapper, "ffmpeg"), 0o755)
                out = os.path.join(WORK, "short-%d.mp4" % n)
                env = dict(script_env(), PATH=wrapper + os.pathsep + os.environ["PATH"])
                result = subprocess.run(["bash", os.path.join(SOURCE, "scripts", "render.sh")] + inputs + [out],
                                        env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                        timeout=300)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(says, result.stderr)
                self.assertFalse(os.path.exists(out))
                if still in inputs:
                    self.assertFalse(os.path.exists(still))
                self.assertEqual(leftovers(WORK), [])

    def test_ctrl_c_stops_a_batch_and_leaves_nothing_half_written(self):
        shelf = os.path.join(WORK, "shelf")
        os.makedirs(shelf)
        long_clip = os.path.join(shelf, "1-long.dv")
        raw = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", PAL, "-c", "copy", "-f", "rawvideo", "-"],
                             check=True, stdout=subprocess.PIPE).stdout
        with open(long_clip, "wb") as f:
            f.write(raw * 150)
        shutil.copy(PAL, os.path.join(shelf, "2-next.avi"))
        out, scratch = os.path.join(WORK, "stopped") + "/", os.path.join(WORK, "tmp")
        os.makedirs(scratch)
        run = subprocess.Popen(["bash", os.path.join(SOURCE, "scripts", "render.sh"), shelf, out],
                               env=dict(script_env(), TMPDIR=scratch), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True, start_new_session=True)
        # Once the long clip is being stamped (its remux is announced first).
        for line in run.stderr:
            if "remuxed" in line:
                break
        time.sleep(3)
        os.killpg(run.pid, signal.SIGINT)
        _, err = run.communicate(timeout=120)
        self.assertEqual(run.returncode, 130, err)
        self.assertEqual(os.listdir(out) if os.path.isdir(out) else [], [])
        self.assertEqual(leftovers(WORK), [])
        self.assertEqual([n for n in os.listdir(scratch) if n.startswith("camtag.")], [])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
