"""The program under test on a real display: a program folder of its own
(server settings, an account), the program started on it, and what its box
files hold, read from outside."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

from display import Display

MAIN_TITLE = "Quillfern Ver"
RECORD_BYTES = 32284


def make_program_folder(root, port, settings=b""):
    """A program folder in `root` receiving from 127.0.0.1:`port`, with
    further server-settings lines in `settings` (b"CHECK=1\\r\\n")."""
    folder = os.path.join(root, "program")
    data = os.path.join(folder, "★MAilData")
    os.makedirs(os.path.join(folder, "添付フォルダ"))
    os.makedirs(data)
    with open(os.path.join(folder, "corvid.ini"), "wb") as ini:
        ini.write(b"SMTP=127.0.0.1:9\r\nPOP3=127.0.0.1:%d\r\nMAIL=me@example.jp\r\nAPOP=0\r\n"
                  % port + settings)
    with open(os.path.join(data, "iniIdPass.ini"), "wb") as ini:
        ini.write(b"[EXEINI]\r\nNAME=user\r\nNAME2=secret\r\nNAME3=1\r\n")
    return folder


def set_server(folder, port):
    path = os.path.join(folder, "corvid.ini")
    with open(path, "rb") as ini:
        text = ini.read()
    lines = [line for line in text.split(b"\r\n") if not line.startswith(b"POP3=")]
    lines.insert(0, b"POP3=127.0.0.1:%d" % port)
    with open(path, "wb") as ini:
        ini.write(b"\r\n".join(lines))


def other_box(folder):
    """The box file of mail from senders not registered."""
    return os.path.join(folder, "★MAilData", "kdxdata8.data")


def box_records(folder):
    path = other_box(folder)
    return os.path.getsize(path) // RECORD_BYTES if os.path.exists(path) else 0


def start_program(display, program_path, folder, name):
    """The program on `folder`, its main window active: (process, window,
    origin). Its output goes to `name`.log beside the folder."""
    env = dict(display.env, QUILLFERN_FOLDER=folder, QT_QPA_PLATFORM="xcb")
    # What was typed into a compose window of a program killed before was
    # kept as a draft: without it no offer waits at the start.
    shutil.rmtree(os.path.join(folder, "★MAilData", "drafts"), ignore_errors=True)
    log = open(os.path.join(folder, "..", name + ".log"), "wb")
    program = subprocess.Popen([program_path], cwd=folder, env=env, stdout=log, stderr=log)
    try:
        main = display.wait_window(MAIN_TITLE, timeout=120)
        display.xdotool("windowactivate", "--sync", main)
        time.sleep(1)
        return program, main, display.origin(main)
    except BaseException:
        program.kill()
        program.wait()
        raise


def wait_until(done, seconds, step=0.05):
    """True as soon as `done()` is; False when `seconds` pass first."""
    deadline = time.monotonic() + seconds
    while not done():
        if time.monotonic() > deadline:
            return False
        time.sleep(step)
    return True


def wait_for(condition, what, timeout=120):
    if not wait_until(condition, timeout):
        raise AssertionError("timed out waiting until " + what)


def window_shown(display, window):
    done = subprocess.run(["xdotool", "getwindowname", str(window)], env=display.env,
                          capture_output=True, text=True, timeout=30)
    return done.returncode == 0


def print_stacks(program):
    if shutil.which("gdb") is None:
        print("(no gdb here to show where the program waits)")
        return
    done = subprocess.run(["gdb", "-p", str(program.pid), "-batch", "-ex",
                           "thread apply all bt 20"], capture_output=True, text=True,
                          timeout=120)
    print("--- where the program's threads wait")
    print(done.stdout[-20000:])


def close_main_window(display, window, program, timeout=120, attempts=3):
    """Closes the main window with Alt+F4, as a user does, and returns the
    program's exit status. On a loaded machine a key sent right after
    `windowactivate` may reach no window, so the close is tried again while
    the window still shows. A program whose window is gone but which does
    not end hangs: its threads' stacks are printed before the test fails."""
    ended = lambda: program.poll() is not None
    for _ in range(attempts):
        display.xdotool("windowactivate", "--sync", window)
        display.xdotool("key", "alt+F4")
        if wait_until(lambda: ended() or not window_shown(display, window), 10, step=0.3):
            break
        print("the main window still shows after Alt+F4; closing it again")
    if wait_until(ended, timeout, step=0.3):
        return program.returncode
    if window_shown(display, window):
        raise AssertionError("the main window did not close on Alt+F4")
    print_stacks(program)
    raise AssertionError("the program did not end after its main window closed")


def run_test(name, trials):
    """The command line of a test, PROGRAM [DISPLAY_NUMBER [SCREENSHOT_FOLDER]]:
    `trials(display, program_path, work, shots)` on a display of its own,
    in a work folder removed afterwards."""
    program_path = os.path.abspath(sys.argv[1])
    number = sys.argv[2] if len(sys.argv) > 2 else None
    shots = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
    work = tempfile.mkdtemp(prefix="qf-%s-" % name)
    display = Display(work, number=number)
    try:
        trials(display, program_path, work, shots)
    finally:
        display.close()
        shutil.rmtree(work, ignore_errors=True)
