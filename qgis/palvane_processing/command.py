"""Running the palvane command for an algorithm: its messages go to the
feedback as they come, a cancel ends it, and a failure raises the
command's own message. Nothing here reads the command's human text for
results: callers read its --json output or the files it wrote."""

import json
import os
import shutil
import subprocess
import threading

from qgis.core import QgsProcessingException

COMMAND_SETTING = "PALVANE_COMMAND"


def command_path():
    """The command: Processing's setting, then PALVANE_COMMAND in the
    environment, then palvane on PATH."""
    configured = ""
    try:
        from processing.core.ProcessingConfig import ProcessingConfig

        configured = ProcessingConfig.getSetting(COMMAND_SETTING) or ""
    except ImportError:
        pass
    configured = configured or os.environ.get(COMMAND_SETTING, "")
    if configured:
        return configured
    found = shutil.which("palvane")
    if not found:
        raise QgsProcessingException(
            "the palvane command was not found: set its path in Processing's options "
            "(Providers > Palvane) or put it on PATH")
    return found


class Result:
    """What a run of the command gave: its exit status, its standard output
    and the last line it wrote to standard error."""

    def __init__(self, status, output, message):
        self.status, self.output, self.message = status, output, message


PROGRESS = "palvane-progress: "


def show_progress(text, feedback):
    """Shows a progress line's phase or count; False for one not understood."""
    try:
        progress = json.loads(text)
    except ValueError:
        return False
    if "phase" in progress:
        feedback.setProgressText(str(progress["phase"]))
    if progress.get("total"):
        feedback.setProgress(100.0 * progress.get("done", 0) / progress["total"])
    return True


def run(arguments, feedback, accept=(0,)):
    """Runs palvane with `arguments`; returns its Result. Standard error is
    streamed to the feedback line by line. A status not in `accept` raises
    QgsProcessingException with the command's last message."""
    command = [command_path()] + [str(a) for a in arguments]
    feedback.pushCommandInfo(" ".join(command))
    # Progress comes as lines of JSON of their own.
    environment = dict(os.environ, PALVANE_PROGRESS="json")
    try:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True, encoding="utf-8",
                                   errors="replace", env=environment)
    except OSError as error:  # no such program, or too long a command line
        raise QgsProcessingException("palvane cannot be started: {}".format(error))
    messages = []

    def read_errors():
        for line in process.stderr:
            line = line.rstrip("\n")
            if line.startswith(PROGRESS) and show_progress(line[len(PROGRESS):], feedback):
                continue
            messages.append(line)
            feedback.pushInfo(line)

    reader = threading.Thread(target=read_errors, daemon=True)
    reader.start()
    output = []
    out_reader = threading.Thread(target=lambda: output.append(process.stdout.read()), daemon=True)
    out_reader.start()
    cancelled = False
    while process.poll() is None:
        if feedback.isCanceled():
            process.kill()
            cancelled = True
            break
        try:
            process.wait(timeout=0.1)
        except subprocess.TimeoutExpired:
            pass
    process.wait()
    # The readers end with the pipes; none is left to write to the feedback.
    reader.join()
    out_reader.join()
    process.stdout.close()
    process.stderr.close()
    if cancelled:
        raise QgsProcessingException("palvane was cancelled")
    status = process.returncode
    last = next((m for m in reversed(messages) if m.strip()), "")
    if status not in accept:
        raise QgsProcessingException(
            "palvane failed (exit status {}): {}".format(status, last or "no message"))
    return Result(status, output[0] if output else "", last)


def run_json(arguments, feedback, accept=(0,)):
    """As run, with --json; the Result's `value` is the parsed standard
    output (None when it printed nothing)."""
    result = run(list(arguments) + ["--json"], feedback, accept)
    try:
        result.value = json.loads(result.output) if result.output.strip() else None
    except ValueError as error:
        raise QgsProcessingException("palvane printed no JSON: {}".format(error))
    return result
