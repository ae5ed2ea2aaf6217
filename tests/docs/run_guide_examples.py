"""Runs the shell examples of the user guide that are marked runnable (a
"% runnable" line before a console or sh block), each block in a fresh folder
holding copies of the sample signals, with the program under test first on
the PATH. A console block's "$ " lines are commands; the lines after one are
what it must print to standard output. Every command must exit with 0.

Usage: run_guide_examples.py <tavox program> <samples folder> <page.md>...
"""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile


def runnable_blocks(text):
    """(language, lines, line number) of each block marked runnable."""
    lines = text.split("\n")
    blocks = []
    for i, line in enumerate(lines):
        if line.strip() != "% runnable":
            continue
        fence = lines[i + 1]
        language = fence[3:].strip()
        if not fence.startswith("```") or language not in ("console", "sh"):
            raise SystemExit(f"line {i + 2}: a runnable mark must precede a console or sh block")
        end = lines.index("```", i + 2)
        blocks.append((language, lines[i + 2:end], i + 3))
    return blocks


def steps(language, lines):
    """(command, expected output or None) pairs of a block."""
    if language == "sh":
        return [("\n".join(lines), None)]
    pairs = []
    for line in lines:
        if line.startswith("$ "):
            pairs.append((line[2:], []))
        elif pairs:
            pairs[-1][1].append(line)
        else:
            raise SystemExit(f"a console block begins with output: {line!r}")
    return [(command, "".join(out + "\n" for out in output)) for command, output in pairs]


def main():
    program, samples, pages = sys.argv[1], sys.argv[2], sys.argv[3:]
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env["PATH"] = os.path.dirname(os.path.abspath(program)) + os.pathsep + env.get("PATH", "")
    failures = ran = 0
    for page in pages:
        for language, lines, number in runnable_blocks(pathlib.Path(page).read_text(encoding="utf-8")):
            ran += 1
            with tempfile.TemporaryDirectory(prefix="tavox-guide-") as work:
                for sample in pathlib.Path(samples).glob("*.dat"):
                    shutil.copy(sample, work)
                for command, expected in steps(language, lines):
                    run = subprocess.run(["bash", "-euo", "pipefail", "-c", command], cwd=work, env=env,
                                         capture_output=True, text=True)
                    where = f"{page}:{number}: {command.splitlines()[0]}"
                    if run.returncode != 0:
                        failures += 1
                        print(f"FAIL {where}: status {run.returncode}\n{run.stderr}")
                    elif expected is not None and run.stdout != expected:
                        failures += 1
                        print(f"FAIL {where}: printed\n{run.stdout}instead of\n{expected}")
    print(f"{ran} runnable blocks, {failures} failures")
    return 1 if failures or ran == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
