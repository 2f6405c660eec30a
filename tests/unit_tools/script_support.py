"""What the script tests share: the source and build trees, render.sh and camtag-probe as a user
runs them, frames decoded by ffmpeg, and facts about videos from ffprobe.
The tests run as: TEST.py SOURCE_DIR BUILD_DIR WORK_DIR"""

import json
import os
import subprocess
import sys
import threading

SOURCE, BUILD, WORK = sys.argv[1:4] if len(sys.argv) == 4 else (None, None, None)
WIDTH, HEIGHT = 720, 480
# The tests' own renderer prefix: the settings dialog's "Save as default" and the runs' registry
# stay out of the one a user renders with.
PREFIX = os.path.join(BUILD, "wineprefix-render-tests") if BUILD else None


def data(name):
    return os.path.join(SOURCE, "tests", "data", name)


def script_env(**extra):
    # The test suite built the tree it runs from: the scripts must not relink it meanwhile.
    env = dict(os.environ, CAMTAG_BUILD_DIR=BUILD, CAMTAG_NO_BUILD="1", CAMTAG_RENDER_PREFIX=PREFIX)
    env.update(extra)
    return env


def registry(*args):
    """reg.exe in the tests' renderer prefix (its Wine server may still be up after a render:
    it is asked, not its files); its output."""
    return subprocess.run([os.path.join(SOURCE, "scripts", "wine-run.sh"), "reg", *args],
                          env=dict(os.environ, WINEPREFIX=PREFIX), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True, timeout=120).stdout


def reset_defaults():
    """No defaults of an earlier test (a dialog's "Save as default") in the tests' prefix. Its
    registry files say nothing: a server that still runs writes them late."""
    if os.path.isdir(PREFIX):
        registry("delete", "HKCU\\Software\\Veltro\\Camtag\\3.0", "/f")


def render_session_env(env):
    """env with the Wine settings of render.sh's session (the prefix and the services it keeps
    off), as the scripts themselves set them: a program joining that session must not start more."""
    exports = subprocess.run(["bash", "-c", 'source "$1/scripts/wine-env.sh" && camtag_use_render_prefix "$2" && '
                              'printf "%s\\n%s" "$WINEPREFIX" "$WINEDLLOVERRIDES"', "-", SOURCE, BUILD],
                             env=env, check=True, stdout=subprocess.PIPE, text=True).stdout.split("\n")
    return dict(env, WINEPREFIX=exports[0], WINEDLLOVERRIDES=exports[1])


def front_dir():
    """Where the scripts find the Linux front (as scripts/build-env.sh says)."""
    return os.environ.get("CAMTAG_FRONT_DIR", os.path.join(SOURCE, "build", "native"))


def render(*args, press=None, display=None, background=False, cwd=None, front=None):
    """render.sh with the arguments. press: the button of the settings dialog that a second
    program presses, started once render.sh says the dialog is open (as a user clicks what they
    see; a program started beside render.sh's own Wine start would race it). display: another
    DISPLAY ("" for none). background: started and returned as a Popen. cwd: the folder it runs in.
    front: another folder of the Linux front."""
    env = script_env()
    if display is not None:
        env["DISPLAY"] = display
    if front is not None:
        env["CAMTAG_FRONT_DIR"] = front
    command = ["bash", os.path.join(SOURCE, "scripts", "render.sh"), *args]
    if background:
        return subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if press is None:
        return subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                              timeout=600, cwd=cwd)
    run = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    out = []
    reader = threading.Thread(target=lambda: out.append(run.stdout.read()))
    reader.start()
    err, presser = [], None
    try:
        for line in run.stderr:
            err.append(line)
            if presser is None and "the settings dialog is open" in line:
                presser = subprocess.Popen([os.path.join(SOURCE, "scripts", "wine-run.sh"),
                                            os.path.join(BUILD, "tests", "support", "dialog-driver", "press-button.exe"),
                                            "Camtag Settings", str(press), "120"],
                                           env=render_session_env(env),
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        run.wait(timeout=600)
    finally:
        reader.join(timeout=600)
        if presser:
            presser.wait(timeout=150)
    return subprocess.CompletedProcess(command, run.returncode, "".join(out), "".join(err))


def probe(*args):
    return subprocess.run(["bash", os.path.join(SOURCE, "scripts", "camtag-probe"), *args], env=script_env(),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=600)


def decode(path, frames=1, flipped=False, start=0):
    """Frames as BGR bytes. flipped: decoded upside down and turned back, as render.sh hands
    frames to the host (the colour conversion then runs on the same rows)."""
    raw = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path,
                          "-vf", ("select=gte(n\\,%d)," % start) + ("vflip" if flipped else "null"),
                          "-frames:v", str(frames), "-f", "rawvideo", "-pix_fmt", "bgra", "-"],
                         check=True, stdout=subprocess.PIPE).stdout
    assert len(raw) == WIDTH * HEIGHT * 4 * frames, len(raw)
    bgr = bytes(b for i, b in enumerate(raw) if i % 4 != 3)
    if flipped:
        rows = [bgr[i:i + WIDTH * 3] for i in range(0, len(bgr), WIDTH * 3)]
        out = []
        for f in range(frames):
            out.extend(reversed(rows[f * HEIGHT:(f + 1) * HEIGHT]))
        bgr = b"".join(out)
    return bgr


def ffprobe(path, *entries):
    """ffprobe's JSON for -show_entries ENTRIES (and any further options given)."""
    return json.loads(subprocess.run(["ffprobe", "-v", "error", "-of", "json", *entries, path], check=True,
                                     stdout=subprocess.PIPE, text=True).stdout)


def splice(path, parts):
    """A DV AVI of the raw DV frames of several files in a row: parts is a list of (file, times),
    each file's frames taken `times` times. ffmpeg copies the frames; nothing is re-encoded."""
    raw = path + ".dv"
    with open(raw, "wb") as out:
        for name, times in parts:
            frames = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", name, "-map", "0:v", "-c", "copy",
                                     "-f", "rawvideo", "-"], check=True, stdout=subprocess.PIPE).stdout
            out.write(frames * times)
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "dv", "-i", raw, "-map", "0:v", "-c", "copy",
                    path], check=True)
    os.remove(raw)
    return path
