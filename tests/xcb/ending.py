"""Ends the program under test by closing its main window, as a user does.

Under a heavily loaded machine a key sent right after `windowactivate` may
reach no window; closing is tried again while the main window is still
shown. A program whose windows are gone but which does not end is a hang:
its threads' stacks are printed (when gdb is there) before the test fails.
"""
import shutil
import subprocess
import time


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


def wait_for(done, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if done():
            return True
        time.sleep(0.3)
    return done()


def close_main_window(display, window, program, timeout=120, attempts=3):
    """Closes `window` with Alt+F4 and returns the program's exit status."""
    ended = lambda: program.poll() is not None
    for _ in range(attempts):
        display.xdotool("windowactivate", "--sync", window)
        display.xdotool("key", "alt+F4")
        if wait_for(lambda: ended() or not window_shown(display, window), 10):
            break
        print("the main window still shows after Alt+F4; closing it again")
    if wait_for(ended, timeout):
        return program.returncode
    if window_shown(display, window):
        raise AssertionError("the main window did not close on Alt+F4")
    print_stacks(program)
    raise AssertionError("the program did not end after its main window closed")
