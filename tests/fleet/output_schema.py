#!/usr/bin/env python3
"""Checks JSON Lines files against the console program's output schema.

  output_schema.py <docs/output.md> <file.jsonl or folder>...

A folder stands for the *.jsonl files in it (at least one).

The reference is docs/output.md itself: its three example records (run_start,
object, run_end) give each record kind's members and their JSON types; the
text there adds the rest that is checked here:
- UTF-8, every line ends in LF (no CR), one JSON object per line;
- the first record is run_start, the last run_end, all others object;
- exactly the members of the kind's example, each of the example's JSON type
  (ProcessID and AmsiResult may also be null); SchemaVersion 1;
- Outcome is "detected", "clean" or "not_scanned"; Scannermessage is trimmed;
- times are UTC ISO 8601 with "Z";
- the counts of run_end match the object records (with FindingsOnly, no clean
  object is written, so Clean only has to cover the written ones);
- ExitCode follows the exit code table: 1 when something was detected,
  else 4 when the run was cancelled, else 2 when something could not be
  scanned or nothing was scanned, else 0 (self-test runs are left out).

Prints one line per problem; exit code 1 when there is any.
"""
import json
import os
import re
import sys

OUTCOMES = {"detected", "clean", "not_scanned"}
NULLABLE_MEMBERS = {"ProcessID", "AmsiResult"}
TIME_MEMBERS = {"StartTime", "EndTime"}
UTC_TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z$")


def reference_records(document_path):
    """The example records of docs/output.md by kind, members in order."""
    with open(document_path, encoding="utf-8") as document:
        text = document.read()
    examples = {}
    for match in re.finditer(r'\{"Record":.*?\}(?=\s*$)', text, re.S | re.M):
        record = json.loads(" ".join(match.group(0).split("\n")))
        examples[record["Record"]] = record
    missing = {"run_start", "object", "run_end"} - set(examples)
    if missing:
        raise SystemExit(f"{document_path}: no example of {sorted(missing)}")
    return examples


def json_type(value):
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "boolean"
    if isinstance(value, (int, float)):
        return "number"
    if isinstance(value, str):
        return "string"
    return type(value).__name__


def member_problems(record, example, where):
    problems = []
    if set(record) != set(example):
        missing = [m for m in example if m not in record]
        extra = [m for m in record if m not in example]
        problems.append(f"{where}: members missing {missing}, unknown {extra}")
    for member, value in record.items():
        if member not in example:
            continue
        actual = json_type(value)
        allowed = {"number", "null"} if member in NULLABLE_MEMBERS else {json_type(example[member])}
        if actual not in allowed:
            problems.append(f"{where}: {member} is a {actual}, expected {sorted(allowed)}")
        if member in TIME_MEMBERS and isinstance(value, str) and not UTC_TIME.match(value):
            problems.append(f"{where}: {member} {value!r} is not UTC ISO 8601 with Z")
    return problems


def expected_exit_code(detected, not_scanned, total, partial):
    if detected:
        return 1
    if partial:
        return 4
    if not_scanned or total == 0:
        return 2
    return 0


def check_file(path, examples):
    with open(path, "rb") as source:
        data = source.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        return [f"{path}: not UTF-8 ({error})"]
    problems = []
    if "\r" in text:
        problems.append(f"{path}: contains CR; lines end in LF only")
    if not text.endswith("\n"):
        problems.append(f"{path}: the last line does not end in LF")
    records = []
    for number, line in enumerate(text.split("\n")[:-1], start=1):
        try:
            record = json.loads(line)
        except json.JSONDecodeError as error:
            problems.append(f"{path}:{number}: not JSON ({error})")
            continue
        if not isinstance(record, dict) or record.get("Record") not in examples:
            problems.append(f"{path}:{number}: not a record of a known kind")
            continue
        records.append((number, record))
    if problems:
        return problems
    if len(records) < 2:
        return [f"{path}: {len(records)} records; a run has at least run_start and run_end"]

    kinds = [record["Record"] for _, record in records]
    if kinds[0] != "run_start" or kinds[-1] != "run_end" or set(kinds[1:-1]) - {"object"}:
        problems.append(f"{path}: records in the order {kinds}")
    for number, record in records:
        where = f"{path}:{number}"
        problems += member_problems(record, examples[record["Record"]], where)
        if record.get("SchemaVersion", 1) != 1:
            problems.append(f"{where}: SchemaVersion {record['SchemaVersion']}")
        if record["Record"] == "object":
            if record.get("Outcome") not in OUTCOMES:
                problems.append(f"{where}: Outcome {record.get('Outcome')!r}")
            message = record.get("Scannermessage")
            if isinstance(message, str) and message != message.strip():
                problems.append(f"{where}: Scannermessage is not trimmed")
    if problems:
        return problems

    start, end = records[0][1], records[-1][1]
    objects = [record for _, record in records[1:-1]]
    written = {outcome: sum(1 for o in objects if o["Outcome"] == outcome) for outcome in OUTCOMES}
    counted = {"detected": end["Detected"], "clean": end["Clean"], "not_scanned": end["NotScanned"]}
    if start["FindingsOnly"]:
        if written["clean"]:
            problems.append(f"{path}: FindingsOnly, yet {written['clean']} clean objects written")
        if counted["detected"] != written["detected"] or counted["not_scanned"] != written["not_scanned"]:
            problems.append(f"{path}: counts {counted} do not match the objects written {written}")
    elif counted != written:
        problems.append(f"{path}: counts {counted} do not match the objects written {written}")
    if start["Command"] != "self-test":
        expected = expected_exit_code(counted["detected"], counted["not_scanned"],
                                      sum(counted.values()), end["Partial"])
        if end["ExitCode"] != expected:
            problems.append(f"{path}: ExitCode {end['ExitCode']}, the table gives {expected}")
    return problems


def jsonl_files(paths):
    files = []
    for path in paths:
        if os.path.isdir(path):
            found = sorted(os.path.join(path, name) for name in os.listdir(path) if name.endswith(".jsonl"))
            if not found:
                raise SystemExit(f"{path}: no .jsonl files")
            files += found
        else:
            files.append(path)
    return files


def main(arguments):
    if len(arguments) < 2:
        raise SystemExit(__doc__)
    examples = reference_records(arguments[0])
    files = jsonl_files(arguments[1:])
    problems = [problem for path in files for problem in check_file(path, examples)]
    print(f"checked {len(files)} files: " + ", ".join(os.path.basename(path) for path in files))
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
