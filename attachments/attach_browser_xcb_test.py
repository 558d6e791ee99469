"""The attachment browser in the real program, on a real X server: Xvfb with
openbox and the xcb platform, where Qt WebEngine and OpenGL behave as on a
desktop (offscreen, a late-loaded web engine once crashed on every click).
Opens the browser from the main window's At button, clicks an HTML page, a
text file, a picture and a PDF in the file list, and reads the screen back
to see each one shown; the program must live through it and end cleanly.

    python3 attach_browser_xcb_test.py PROGRAM [SCREENSHOT_FOLDER]
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "xcb"))
from display import Display, px  # noqa: E402
from program import close_main_window  # noqa: E402

# Places in the windows, in twips (the layouts of MainWindow and AttachmentBrowser).
AT_BUTTON = (4380 + 600, 2460 + 540)
FILE_LIST = (120, 3900, 3720, 3600)
PICTURE_FRAME = (3960, 120, 8520, 2160)
BROWSER_FRAME = (3960, 2820, 8520, 5700)

PAGE_BLUE = (0x33, 0x66, 0xCC)
PICTURE_RED = (0xCC, 0x33, 0x33)
PDF_GREEN = (0x2E, 0x8B, 0x57)

# A one-page document: a green panel filling most of an A6 page, with a
# Japanese caption. rsvg-convert (cairo) turns it into the PDF.
PDF_SOURCE = """<svg xmlns="http://www.w3.org/2000/svg" width="298pt" height="420pt"
  viewBox="0 0 298 420">
<rect width="298" height="420" fill="white"/>
<rect x="14" y="14" width="270" height="360" fill="#2e8b57"/>
<text x="20" y="404" font-size="16" font-family="Noto Sans CJK JP">添付の資料（PDF）</text>
</svg>
"""

PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>添付のページ</title></head>
<body style="background: #3366cc; color: white">
<h1>日本語のページ</h1><p>添付ファイルとして届いた HTML です。</p></body></html>
"""
TEXT = "添付ファイルのご案内\n\nこのファイルは添付ファイルの確認に使います。\n" * 8


def make_program_folder(root):
    folder = os.path.join(root, "program")
    attachments = os.path.join(folder, "添付フォルダ")
    os.makedirs(attachments)
    # A server is set, so that no settings window opens at start.
    with open(os.path.join(folder, "corvid.ini"), "wb") as ini:
        ini.write(b"SMTP=127.0.0.1:9\r\nPOP3=127.0.0.1:9\r\nMAIL=test@example.jp\r\nAPOP=0\r\n")
    with open(os.path.join(attachments, "ページ.html"), "w", encoding="utf-8") as page:
        page.write(PAGE)
    with open(os.path.join(attachments, "案内.txt"), "w", encoding="utf-8") as text:
        text.write(TEXT)
    # The picture as a real encoder writes it.
    subprocess.run(["convert", "-size", "80x60", "xc:#cc3333",
                    os.path.join(attachments, "写真.png")], check=True)
    # The PDF as cairo writes it, through rsvg-convert (Debian's librsvg2-bin).
    subprocess.run(["rsvg-convert", "--format=pdf", "--output",
                    os.path.join(attachments, "資料.pdf")], input=PDF_SOURCE.encode(),
                   check=True)
    return folder


def rect(origin, twips, inset=0):
    x, y, width, height = twips
    return (origin[0] + px(x) + inset, origin[1] + px(y) + inset,
            px(width) - 2 * inset, px(height) - 2 * inset)


def near(pixel, colour, tolerance=6):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))


def share(pixels, test):
    flat = [p for row in pixels for p in row]
    return sum(1 for p in flat if test(p)) / len(flat)


def wait_until(what, check, program, timeout=120):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if program.poll() is not None:
            raise AssertionError("the program ended (exit %d) while waiting for %s"
                                 % (program.returncode, what))
        if check():
            print("ok:", what)
            return
        time.sleep(0.5)
    raise AssertionError("timed out waiting for " + what)


def selected_band(display, origin):
    """The first and last screen rows of the marked row of the file list, or
    None when no row is marked."""
    x, y, width, height = rect(origin, FILE_LIST)
    column = display.pixels(x + width - 12, y, 1, height)
    marked = [y + i for i, (p,) in enumerate(column) if p[2] > p[0] + 40]
    return (marked[0], marked[-1]) if marked else None


class Run:
    def __init__(self, display, program, shots):
        self.display = display
        self.program = program
        self.shots = shots
        self.step = 0

    def shot(self, name):
        if self.shots:
            self.step += 1
            self.display.screenshot(os.path.join(self.shots, "%02d-%s.png" % (self.step, name)))

    def alive(self):
        if self.program.poll() is not None:
            raise AssertionError("the program ended (exit %d)" % self.program.returncode)


def drive(display, program, shots):
    run = Run(display, program, shots)
    main = display.wait_window("Quillfern Ver", timeout=120)
    display.click(display.origin(main), px(AT_BUTTON[0]), px(AT_BUTTON[1]))
    browser = display.wait_window("添付ファイル他の確認")
    origin = display.origin(browser)
    display.xdotool("windowactivate", "--sync", browser)
    wait_until("the browser window painted", lambda: share(
        display.pixels(*rect(origin, FILE_LIST, inset=4)), lambda p: min(p) >= 245) > 0.5,
        program)
    run.shot("browser-opened")

    # The list, at the attachment folder: ページ.html, 写真.png, 案内.txt, 資料.pdf.
    list_x, list_y, _, _ = rect((0, 0), FILE_LIST)
    # A click that lands while the window is still being mapped is lost, and
    # the first page starts the web engine, which holds the window a while:
    # clicked again until the first row is marked.
    band = None
    for _ in range(4):
        display.click(origin, list_x + 40, list_y + 10)
        deadline = time.monotonic() + 20
        while band is None and time.monotonic() < deadline:
            time.sleep(0.5)
            run.alive()
            band = selected_band(display, origin)
        if band:
            break
    else:
        raise AssertionError("the first row of the file list could not be clicked")
    top, bottom = band
    row_height = bottom - top + 1
    first_row = top - origin[1]

    def click_row(row):
        display.click(origin, list_x + 40, first_row + row * row_height + row_height // 2)

    frame = rect(origin, BROWSER_FRAME, inset=8)
    wait_until("the HTML page shown (its blue)", lambda: share(
        display.pixels(*frame), lambda p: p == PAGE_BLUE) > 0.6, program)
    run.shot("html-page")
    run.alive()

    click_row(2)
    wait_until("the text file shown (white with dark letters)", lambda: (
        lambda shown: share(shown, lambda p: min(p) >= 245) > 0.6
        and share(shown, lambda p: max(p) < 110) > 0.002
        and share(shown, lambda p: p == PAGE_BLUE) == 0)(display.pixels(*frame)), program)
    run.shot("text-file")
    run.alive()

    click_row(1)
    picture = rect(origin, PICTURE_FRAME)
    wait_until("the picture shown in the picture frame", lambda: share(
        display.pixels(*picture), lambda p: p == PICTURE_RED) > 0.03, program, timeout=30)
    run.shot("picture")
    run.alive()

    # The engine's PDF viewer draws the page: its green panel, not merely
    # the viewer's grey frame or the document's name.
    click_row(3)
    wait_until("the PDF page drawn (its green panel)", lambda: share(
        display.pixels(*frame), lambda p: near(p, PDF_GREEN)) > 0.05, program)
    run.shot("pdf")
    run.alive()

    # Closing the main window ends the program, the browser with it.
    code = close_main_window(display, main, program, timeout=180)
    if code != 0:
        raise AssertionError("the program ended with exit status %d" % code)
    print("ok: the program ended cleanly")


def main():
    program_path = os.path.abspath(sys.argv[1])
    shots = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None
    if shots:
        os.makedirs(shots, exist_ok=True)
    work = tempfile.mkdtemp(prefix="qf-attach-xcb-")
    display = None
    program = None
    passed = False
    try:
        folder = make_program_folder(work)
        display = Display(work)
        print("display", display.name)
        env = dict(display.env, QUILLFERN_FOLDER=folder, QT_QPA_PLATFORM="xcb")
        with open(os.path.join(work, "quillfern.log"), "wb") as log:
            program = subprocess.Popen([program_path], cwd=folder, env=env, stdout=log,
                                       stderr=subprocess.STDOUT)
            drive(display, program, shots)
        passed = True
    except Exception:
        if shots and display is not None:
            display.screenshot(os.path.join(shots, "failed.png"))
        raise
    finally:
        if program is not None and program.poll() is None:
            program.kill()
            program.wait()
        if display is not None:
            display.close()
        log_path = os.path.join(work, "quillfern.log")
        if not passed and os.path.exists(log_path):
            with open(log_path, "rb") as log:
                sys.stdout.write("--- program output (last 60 lines)\n")
                sys.stdout.write(b"".join(log.readlines()[-60:]).decode("utf-8", "replace"))
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
