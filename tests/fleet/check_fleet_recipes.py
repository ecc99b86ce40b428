#!/usr/bin/env python3
"""Checks the fleet recipes in examples/fleet/ as far as Linux allows.

  check_fleet_recipes.py velociraptor <artifact.yaml> <docs/output.md>
  check_fleet_recipes.py ansible <playbook.yml> <docs/output.md> <samples dir> <work dir>
  check_fleet_recipes.py powershell <script.ps1> <docs/output.md>

The record members and the exit code table come from docs/output.md (see
output_schema.py). What cannot run here is said in the output: Velociraptor and
PowerShell are not installable from the package registries this project uses,
so their recipes are checked statically; the Ansible playbook is syntax-checked,
linted, its Windows modules' options are checked against the installed
ansible.windows collection, and its summary play runs on this machine over
results laid out as the Windows play leaves them.
"""
import json
import os
import re
import shutil
import subprocess
import sys

import yaml

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import output_schema  # noqa: E402

VELOCIRAPTOR_ARTIFACT_KEYS = {
    "name", "description", "author", "reference", "type", "precondition", "parameters",
    "sources", "column_types", "tools", "required_permissions", "implied_permissions",
    "imports", "export", "resources", "aliases", "reports",
}
VELOCIRAPTOR_PARAMETER_TYPES = {
    "string", "int", "int64", "bool", "choices", "csv", "json", "json_array", "regex",
    "regex_array", "hidden", "timestamp", "upload", "upload_file", "yara", "artifactset",
    "multichoice", "server_metadata", "redacted",
}


class Problems(list):
    def check(self, condition, text):
        if not condition:
            self.append(text)
        return condition


def schema_members(document):
    examples = output_schema.reference_records(document)
    return examples, {member for example in examples.values() for member in example}


def exit_codes(document):
    """The codes of the exit code table in docs/output.md."""
    with open(document, encoding="utf-8") as source:
        return {int(code) for code in re.findall(r"^\|\s*(\d+)\s*\|", source.read(), re.M)}


def check_velociraptor(artifact_path, document):
    problems = Problems()
    print("Velociraptor is not installable from the package registries used here: the "
          "artifact's VQL is not run; its structure and columns are checked.")
    with open(artifact_path, encoding="utf-8") as source:
        artifact = yaml.safe_load(source)
    examples, members = schema_members(document)

    problems.check(isinstance(artifact, dict), "the artifact is not a mapping")
    unknown = set(artifact) - VELOCIRAPTOR_ARTIFACT_KEYS
    problems.check(not unknown, f"unknown artifact keys {sorted(unknown)}")
    stem = os.path.basename(artifact_path).rsplit(".", 1)[0]
    problems.check(artifact.get("name") == stem, f"name {artifact.get('name')!r} is not the file's name")
    problems.check(re.fullmatch(r"Custom(\.[A-Z][A-Za-z0-9]*)+", str(artifact.get("name"))),
                   "a custom artifact's name starts with Custom.")
    problems.check(artifact.get("type") == "CLIENT", "type is not CLIENT")
    problems.check("windows" in str(artifact.get("precondition", "")),
                   "no precondition for Windows clients")

    parameters = artifact.get("parameters", [])
    names = [parameter.get("name") for parameter in parameters]
    problems.check(len(names) == len(set(names)) and all(names), f"parameter names {names}")
    for parameter in parameters:
        kind = parameter.get("type", "string")
        problems.check(kind in VELOCIRAPTOR_PARAMETER_TYPES, f"parameter {parameter['name']}: type {kind}")
        if kind == "choices":
            problems.check(parameter.get("default") in parameter.get("choices", []),
                           f"parameter {parameter['name']}: default not among the choices")

    sources = artifact.get("sources", [])
    if not problems.check(len(sources) == 1 and "query" in sources[0], "not exactly one source with a query"):
        return problems
    query = sources[0]["query"]
    for name in names:
        problems.check(re.search(rf"\b{name}\b", query), f"parameter {name} is not used by the query")
    for plugin in ("execve", "parse_jsonl"):
        problems.check(re.search(rf"\b{plugin}\s*\(", query), f"the query does not call {plugin}()")
    # get(field=...) falls back to the query's variables for a member a record lacks.
    variables = set(names) | set(re.findall(r"^\s*LET\s+(\w+)", query, re.M))
    clashes = variables & members
    problems.check(not clashes, f"parameters or variables named like record members: {sorted(clashes)}")

    columns = [column["name"] for column in artifact.get("column_types", [])]
    branches = re.findall(r"^\s*(\w+)=\{(.*?)^\s*\}", query, re.M | re.S)
    problems.check(len(branches) == 2, f"{len(branches)} branches in chain(), expected records and exit")
    for branch, text in branches:
        aliases = re.findall(r"\bAS\s+(\w+)", text)
        problems.check(aliases == columns, f"branch {branch}: columns {aliases} are not column_types {columns}")
    records_branch = dict(branches).get("records", "")
    fields = re.findall(r'get\(field="(\w+)"\)\s+AS\s+(\w+)', records_branch)
    problems.check(all(field == alias for field, alias in fields),
                   "a record member is renamed: " + str([f for f in fields if f[0] != f[1]]))
    carried = {field for field, _ in fields}
    problems.check(carried == members,
                   f"record members not carried {sorted(members - carried)}, unknown {sorted(carried - members)}")
    print(f"columns: {len(columns)}; record members carried: {len(carried)} of {len(members)}")
    return problems


def run(command, **options):
    print("$ " + " ".join(command))
    result = subprocess.run(command, capture_output=True, text=True, errors="replace", **options)
    output = (result.stdout + result.stderr).strip()
    if output:
        print(output)
    return result


def module_options(module):
    """The documented options of an installed module, from ansible-doc."""
    result = subprocess.run(["ansible-doc", "-j", module], capture_output=True, text=True)
    if result.returncode != 0:
        return None
    doc = json.loads(result.stdout)[module]["doc"]
    return doc.get("options", {})


def playbook_tasks(playbook):
    for play in playbook:
        for section in ("pre_tasks", "tasks", "post_tasks", "handlers"):
            for task in play.get(section, []) or []:
                yield task


def check_task_options(playbook_path, problems):
    """ansible-lint cannot load PowerShell modules to validate their options."""
    with open(playbook_path, encoding="utf-8") as source:
        playbook = yaml.safe_load(source)
    for task in playbook_tasks(playbook):
        modules = [key for key in task if key.startswith("ansible.windows.")]
        for module in modules:
            options = module_options(module)
            if not problems.check(options is not None, f"{module} is not installed"):
                continue
            arguments = task[module] or {}
            for argument in arguments:
                problems.check(argument in options, f"{task['name']}: {module} has no option {argument}")
            for option, details in options.items():
                if details.get("required"):
                    problems.check(option in arguments, f"{task['name']}: {module} needs {option}")
            print(f"{module}: options {sorted(arguments)} documented")
    return playbook


def summary_run(playbook_path, results, extra_vars):
    environment = dict(os.environ, ANSIBLE_LOCALHOST_WARNING="false", ANSIBLE_NOCOLOR="1",
                       ANSIBLE_LOCAL_TEMP=os.path.join(results, ".ansible-tmp"))
    command = ["ansible-playbook", "-i", "localhost,", "-c", "local", playbook_path,
               "-e", json.dumps(dict(extra_vars, ostrelle_results_dir=results))]
    return run(command, env=environment)


def lay_out_results(results, hosts, samples):
    """Results as the Windows play leaves them: <host>.jsonl and <host>.exit.json."""
    shutil.rmtree(results, ignore_errors=True)
    os.makedirs(results)
    for host, rc, sample in hosts:
        if sample:
            shutil.copy(os.path.join(samples, sample), os.path.join(results, host + ".jsonl"))
        with open(os.path.join(results, host + ".exit.json"), "w", encoding="utf-8") as status:
            json.dump({"host": host, "rc": rc, "stderr": "" if sample else "Disk full"}, status)


def read_records(path):
    with open(path, encoding="utf-8") as source:
        return [json.loads(line) for line in source if line.strip()]


def check_summary(results, hosts, samples, meanings, problems):
    with open(os.path.join(results, "findings.json"), encoding="utf-8") as source:
        report = {entry["host"]: entry for entry in json.load(source)}
    problems.check(sorted(report) == sorted(host for host, _, _ in hosts),
                   f"findings.json has hosts {sorted(report)}")
    for host, rc, sample in hosts:
        entry = report.get(host)
        if not entry:
            continue
        problems.check(entry["exit_code"] == rc and isinstance(entry["exit_code"], int),
                       f"{host}: exit_code {entry['exit_code']!r}, expected the number {rc}")
        problems.check(entry["meaning"] == meanings[rc], f"{host}: meaning {entry['meaning']!r}")
        records = read_records(os.path.join(samples, sample)) if sample else []
        findings = [r for r in records if r["Record"] == "object" and r["Outcome"] != "clean"]
        problems.check(entry["findings"] == findings,
                       f"{host}: findings {entry['findings']} are not the sample's {findings}")
        run_end = [r for r in records if r["Record"] == "run_end"]
        problems.check(entry["run_end"] == (run_end[0] if run_end else {}), f"{host}: run_end differs")


def check_ansible(playbook_path, document, samples, work):
    playbook_path, samples, work = (os.path.abspath(p) for p in (playbook_path, samples, work))
    problems = Problems()
    os.makedirs(work, exist_ok=True)
    environment = dict(os.environ, ANSIBLE_NOCOLOR="1", HOME=os.environ.get("HOME", work))
    result = run(["ansible-playbook", "--syntax-check", "-i", "localhost,", playbook_path], env=environment)
    problems.check(result.returncode == 0, "ansible-playbook --syntax-check failed")
    # --offline: no collection is fetched; ansible.windows comes from Debian's ansible.
    result = run(["ansible-lint", "--offline", "--nocolor", playbook_path],
                 env=environment, cwd=os.path.dirname(playbook_path))
    problems.check(result.returncode == 0, "ansible-lint reports problems")
    playbook = check_task_options(playbook_path, problems)

    codes = exit_codes(document)
    summary_play = [play for play in playbook if play.get("hosts") == "localhost"]
    if not problems.check(len(summary_play) == 1, "no summary play on localhost"):
        return problems
    meanings = summary_play[0]["vars"]["ostrelle_exit_meanings"]
    problems.check(set(meanings) == codes, f"exit codes known {sorted(meanings)}, table {sorted(codes)}")

    print("The Windows play cannot run here (no Windows host); the summary play runs over "
          "JSON Lines that the console program wrote under Wine (" + samples + ").")
    results = os.path.join(work, "results")
    cases = [
        # A detection, a clean host, one that could not scan and one whose
        # output could not be written: the summary is written, then the run
        # fails and names both.
        ([("pc-detected", 1, "detected.jsonl"), ("pc-clean", 0, "clean.jsonl"),
          ("pc-failing", 2, "not-scanned.jsonl"), ("pc-nowrite", 6, None)], {}, 2,
         ["No output from: pc-nowrite.", "Detections on: pc-detected."]),
        # A cancelled run with a detection and one without, names outside
        # code page 1252, with failing on detections switched off.
        ([("pc-processes", 1, "partial.jsonl"), ("pc-cancelled", 4, "cancelled.jsonl"),
          ("pc-names", 0, "names.jsonl")], {"ostrelle_fail_on_detection": False}, 0, []),
    ]
    for hosts, extra_vars, expected_rc, messages in cases:
        lay_out_results(results, hosts, samples)
        result = summary_run(playbook_path, results, extra_vars)
        problems.check(result.returncode == expected_rc,
                       f"summary over {[h for h, _, _ in hosts]}: exit {result.returncode}, expected {expected_rc}")
        for message in messages:
            problems.check(message in result.stdout, f"the summary does not say {message!r}")
        if problems.check(os.path.exists(os.path.join(results, "findings.json")), "no findings.json"):
            check_summary(results, hosts, samples, meanings, problems)
    return problems


def powershell_brackets(text):
    """Unbalanced brackets outside strings and comments, a coarse syntax check."""
    pairs = {")": "(", "]": "[", "}": "{"}
    stack, position, line = [], 0, 1
    while position < len(text):
        char = text[position]
        if text.startswith("<#", position):
            end = text.index("#>", position) + 2
        elif char == "#":
            end = text.find("\n", position)
            end = len(text) if end < 0 else end
        elif text.startswith(("@'", '@"'), position) and text[position + 2:position + 3] == "\n":
            end = text.index("\n" + text[position + 1] + "@", position) + 3
        elif char == "'":
            end = position + 1
            while True:
                end = text.index("'", end) + 1
                if text[end:end + 1] != "'":
                    break
                end += 1
        elif char == '"':
            end = position + 1
            while text[end] != '"' or text[end - 1] == "`":
                end += 1
            end += 1
        else:
            if char in "([{":
                stack.append((char, line))
            elif char in ")]}":
                if not stack or stack.pop()[0] != pairs[char]:
                    return f"line {line}: unexpected {char}"
            line += char == "\n"
            position += 1
            continue
        line += text.count("\n", position, end)
        position = end
    return f"line {stack[-1][1]}: {stack[-1][0]} is not closed" if stack else None


def check_powershell(script_path, document):
    problems = Problems()
    print("PowerShell is not installable from the package registries used here: the script "
          "is not run; its brackets, exit codes and record members are checked.")
    with open(script_path, encoding="utf-8") as source:
        text = source.read()
    problems.check(powershell_brackets(text) is None, f"brackets: {powershell_brackets(text)}")
    _, members = schema_members(document)
    table = re.search(r"\$ExitMeanings = @\{(.*?)\n\}", text, re.S)
    if problems.check(table, "no $ExitMeanings table"):
        known = {int(code) for code in re.findall(r"^\s*(\d+)\s*=", table.group(1), re.M)}
        problems.check(known == exit_codes(document),
                       f"exit codes known {sorted(known)}, table {sorted(exit_codes(document))}")
    listed = re.search(r"\$objectMembers = (.*?)\n\n", text, re.S)
    if problems.check(listed, "no $objectMembers list"):
        used = set(re.findall(r"'(\w+)'", listed.group(1)))
        problems.check(used <= members, f"object members not in the schema: {sorted(used - members)}")
    # Members read from the records: Record, .Partial, .ProgramVersion, ...
    read = set(re.findall(r"\$run(?:Start|End)\.(\w+)", text)) | set(
        re.findall(r"Where-Object (\w+) -eq '(?:run_start|run_end|object)'", text))
    problems.check(read <= members, f"record members read but not in the schema: {sorted(read - members)}")
    for needed in ("Invoke-Command", "ConvertFrom-Json", "-Encoding UTF8"):
        problems.check(needed in text, f"the script does not use {needed}")
    print(f"record members read: {sorted(read)}")
    return problems


def main(arguments):
    checks = {"velociraptor": (check_velociraptor, 2), "ansible": (check_ansible, 4),
              "powershell": (check_powershell, 2)}
    if not arguments or arguments[0] not in checks or len(arguments) - 1 != checks[arguments[0]][1]:
        raise SystemExit(__doc__)
    problems = checks[arguments[0]][0](*arguments[1:])
    for problem in problems:
        print("FAILED: " + problem)
    print(f"{arguments[0]}: {'ok' if not problems else str(len(problems)) + ' problem(s)'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
