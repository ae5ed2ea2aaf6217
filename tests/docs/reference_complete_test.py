"""The built documentation names everything a user can meet: every option
that --help lists and every result code in the command-line reference, and
every class and function the Python module exports in the Python reference.

Usage: reference_complete_test.py <html folder> <tavox program> (with the
built module on PYTHONPATH)
"""
import pathlib
import re
import subprocess
import sys

import tavox


def main():
    html, program = pathlib.Path(sys.argv[1]), sys.argv[2]
    failures = []
    cli = (html / "reference" / "cli.html").read_text(encoding="utf-8")
    help_text = subprocess.run([program, "--help"], capture_output=True, text=True, check=True).stdout
    options = sorted(set(re.findall(r"(?<![\w-])--([a-z][a-z0-9-]*)", help_text)))
    for option in options:
        if f'id="option-{option}"' not in cli:
            failures.append(f"--{option} has no entry in the command-line reference")
    for code in range(int(tavox.fftResultAllRight), int(tavox.fftResultTargetFull) + 1):
        if f"<td><p>{code}</p></td>" not in cli:
            failures.append(f"the result code {code} is not in the command-line reference")

    python = (html / "reference" / "python.html").read_text(encoding="utf-8")
    entries = set(re.findall(r'<dt class="sig sig-object py" id="([^"]+)"', python))
    public = [name for name in tavox.__all__ if callable(getattr(tavox, name))]
    for name in public:
        if f"tavox.{name}" not in entries:
            failures.append(f"tavox.{name} has no entry in the Python reference")
    print("\n".join(failures) or f"{len(options)} options, {len(public)} Python names found")
    return 1 if failures or len(options) < 10 or len(public) < 10 else 0


if __name__ == "__main__":
    sys.exit(main())
