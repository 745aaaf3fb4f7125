#!/usr/bin/python3
"""Makes the README's fault matrix from the rows the tests recorded (one
file per row in ROWS_DIR: fault, what the user sees, what is left on disk,
what shows nothing else was lost). Writes the table between the README's
two markers and fails when a fault the program must be tested against has
no row, that is, when its test did not run or did not pass.

    fault_matrix.py ROWS_DIR README
"""
import sys
from pathlib import Path

BEGIN = "<!-- fault matrix: made by ./test.sh from the tests' rows -->"
END = "<!-- end of fault matrix -->"
REQUIRED = {
    "01": "disc out before a rip",
    "02": "disc out during a rip",
    "03": "abort while reading",
    "04": "abort while encoding",
    "05": "unwritable output folder",
    "06": "no writable wav.tmp",
    "08": "CDDB: no such entry",
    "08b": "an error page instead of a CDDB entry",
    "09": "huge CDDB reply",
    "10a": "dead CDDB server",
    "10b": "hanging CDDB server",
    "10c": "lookup cancelled before the server answered",
    "11": "malformed cue sheets",
    "12": "damaged CD-TEXT",
    "13": "garbage settings.ini",
    "14": "log file held by another program",
    "15": "a second instance",
    "16": "close during a refresh",
    "17": "wrong library version",
    "18": "a fault in the main window",
    "19": "no drives",
    "20": "a listed track the disc gives no audio for",
    "21": "a wav.tmp that cannot be replaced",
    "22": "names Windows would refuse or change",
    "23": "full output volume",
    "24": "full program volume (wav.tmp)",
    "25": "another disc after the refresh",
    "26": "disc out and another in on a real drive",
    "27": "sectors the disc never gives",
    "28": "abort while two encoders run",
    "29": "full output volume while two encoders run",
}


def cell(text):
    return text.replace("|", "\\|").strip()


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    rows_dir, readme = Path(sys.argv[1]), Path(sys.argv[2])
    rows = {f.stem: f.read_text().split("\n")[:4] for f in sorted(rows_dir.glob("*.txt"))} if rows_dir.is_dir() else {}
    missing = [f"{key} ({what})" for key, what in REQUIRED.items() if key not in rows]
    table = ["| fault | what the user sees | left on disk | nothing else lost |", "|---|---|---|---|"]
    table += ["| " + " | ".join(cell(c) for c in rows[key]) + " |" for key in sorted(rows)]
    text = readme.read_text()
    if BEGIN not in text or END not in text:
        sys.exit(f"fault_matrix: {readme} lacks the markers")
    head, rest = text.split(BEGIN, 1)
    tail = rest.split(END, 1)[1]
    new = head + BEGIN + "\n" + "\n".join(table) + "\n" + END + tail
    if new != text:
        readme.write_text(new)
        print(f"fault matrix: {readme} updated ({len(rows)} rows)")
    else:
        print(f"fault matrix: {len(rows)} rows, README up to date")
    if missing:
        print("fault matrix: no passing test recorded " + ", ".join(missing))
        sys.exit(1)


if __name__ == "__main__":
    main()
