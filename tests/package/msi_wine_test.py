#!/usr/bin/env python3
"""Installs, upgrades and removes an Ostrelle MSI under Wine, checking each state.

  msi_wine_test.py <x64|x86> <msi dir> <version> <newer version> <wine runner> <prefix>

<msi dir> is what msi_build_test.sh leaves (stage-<arch>/ and the packages).
The prefix is made anew for every run by the project's Wine runner
(tests/wine/run_in_wine.sh: Windows 10, no Z: drive), which runs the staged x64
console program once for that.

x64: msiexec /i installs into C:\\Program Files\\Ostrelle and appends it to the
system Path; the installed console program starts through that Path in a new
process (--version) and scans a clean file with Wine's own AMSI (exit 0).
Installing the newer version replaces the older one (one product left, Path
entry once), installing the older one again is refused, and msiexec /x leaves
no file, folder, Path entry or registration behind.

x86: the same install and removal into C:\\Program Files (x86)\\Ostrelle with its
uninstall entry in the 32-bit registry view; its programs are not started, as
32-bit code cannot run on these machines.

Every step waits for msiexec to end and then checks the state it left.
"""
import filecmp
import os
import shutil
import subprocess
import sys

ENVIRONMENT_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"
UNINSTALL_KEYS = {"x64": r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall",
                  "x86": r"HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall"}
INSTALLER_KEY = r"HKLM\Software\Classes\Installer"
ERROR_INSTALL_FAILURE = 1603


class Failure(Exception):
    pass


def expect(condition, text):
    if not condition:
        raise Failure(text)
    print("ok: " + text)


class Prefix:
    def __init__(self, path):
        self.path = path
        self.drive_c = os.path.join(path, "drive_c")
        self.environment = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all",
                                WINEDLLOVERRIDES="mscoree=;mshtml=")
        self.environment.pop("DISPLAY", None)

    def wine(self, *arguments, cwd=None):
        result = subprocess.run(["wine", *arguments], env=self.environment, cwd=cwd or self.drive_c,
                                capture_output=True)
        return (result.returncode, result.stdout.decode("utf-8", "replace").replace("\r", ""),
                result.stderr.decode("utf-8", "replace").replace("\r", ""))

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.environment, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=self.environment, capture_output=True)

    def registry(self, key):
        """Values of a key and its subkeys: {subkey: {name: value}}, {} when absent."""
        code, output, _ = self.wine("reg", "query", key, "/s")
        if code != 0:
            return {}
        keys, current = {}, None
        for line in output.split("\n"):
            if line.startswith("HKEY_"):
                current = keys.setdefault(line.strip(), {})
            elif current is not None and line.startswith("    "):
                name, _, rest = line.strip().partition("    ")
                _, _, value = rest.strip().partition("    ")
                current[name] = value.strip()
        return keys

    def path_entries(self):
        values = next(iter(self.registry(ENVIRONMENT_KEY).values()), {})
        value = next((v for name, v in values.items() if name.upper() == "PATH"), "")
        return value, [entry for entry in value.split(";") if entry]

    def products(self, arch):
        """Uninstall entries of Ostrelle in the architecture's registry view."""
        return {key: values for key, values in self.registry(UNINSTALL_KEYS[arch]).items()
                if values.get("DisplayName", "").startswith("Ostrelle")}

    def msiexec(self, *arguments):
        code, output, error = self.wine("msiexec", *arguments)
        print(f"msiexec {' '.join(arguments)}: exit {code}")
        return code


def make_prefix(prefix, runner, stage_x64):
    """A fresh prefix, prepared by the project's runner as every Wine test's is."""
    prefix.stop()
    shutil.rmtree(prefix.path, ignore_errors=True)
    environment = dict(os.environ, TARVEX_WINEPREFIX=prefix.path)
    result = subprocess.run([runner, stage_x64, "OstrelleCmd64.exe", "--version"], env=environment,
                            capture_output=True, text=True, errors="replace")
    if result.returncode != 0:
        print(result.stdout + result.stderr)
    expect(result.returncode == 0, f"the runner made the prefix and ran the staged console program")


def check_installed(prefix, arch, version, stage, folder_windows, path_before):
    folder = os.path.join(prefix.drive_c, *folder_windows[3:].rstrip("\\").split("\\"))
    names = sorted(os.listdir(stage))
    expect(os.path.isdir(folder) and sorted(os.listdir(folder)) == names,
           f"{folder_windows} holds exactly {names}")
    for name in names:
        expect(filecmp.cmp(os.path.join(folder, name), os.path.join(stage, name), shallow=False),
               f"{name} is installed unchanged")
    _, entries = prefix.path_entries()
    expect(entries == path_before + [folder_windows],
           f"the system Path is the one before plus {folder_windows}, once: {entries}")
    products = prefix.products(arch)
    expect(len(products) == 1, f"one uninstall entry of Ostrelle ({sorted(products)})")
    values = next(iter(products.values()))
    expect(values.get("DisplayVersion") == version and values.get("InstallLocation") == folder_windows
           and values.get("Publisher") == "The tarvex developers",
           f"uninstall entry: version {version}, location {folder_windows} ({values})")
    other = "x86" if arch == "x64" else "x64"
    expect(not prefix.products(other), f"no uninstall entry in the {other} registry view")
    return next(iter(products))


def check_removed(prefix, arch, folder_windows, path_before, product_key):
    folder = os.path.join(prefix.drive_c, *folder_windows[3:].rstrip("\\").split("\\"))
    expect(not os.path.exists(folder), f"{folder_windows} is gone")
    raw, entries = prefix.path_entries()
    expect(entries == path_before, f"the system Path has its entries from before: {entries}")
    if raw.endswith(";"):
        # Wine removes the entry but keeps the separator it appended with it.
        print(f"note: Wine left an empty separator in the Path: {raw!r}")
    expect(not prefix.products(arch), "no uninstall entry of Ostrelle")
    leftovers = [key for key, values in prefix.registry(INSTALLER_KEY).items()
                 if any("Ostrelle" in value or "tarvex" in value for value in values.values())]
    expect(not leftovers, f"no Windows Installer registration of Ostrelle ({leftovers})")
    product_code = product_key.rsplit("\\", 1)[-1]
    cache = os.path.join(prefix.drive_c, "windows", "Installer", product_code)
    expect(not os.path.exists(cache), f"no cached files of {product_code}")


def console_runs(prefix, command_line, expected_text, expected_code):
    """Runs a command line in a new cmd.exe, as at a new prompt."""
    code, output, error = prefix.wine("cmd", "/c", command_line)
    print(f"cmd /c {command_line}: exit {code}\n{output.strip()}")
    expect(code == expected_code and expected_text in output,
           f"{command_line!r} ends with {expected_code} and prints {expected_text!r} {error.strip()}")
    return output


def found_on_path(prefix, program, version):
    """Whether a new process finds the program by its bare name: Wine's loader
    searches the Path that a new process gets from the registry, as
    CreateProcess does on Windows. (Wine's cmd.exe stops searching at an empty
    Path entry, and Wine's msiexec leaves one behind when it removes an entry:
    after an upgrade, cmd.exe would no longer find the program under Wine.)"""
    code, output, _ = prefix.wine(program, "--version")
    return code == 0 and version in output.split()


def test_x64(prefix, msi_dir, version, newer):
    stage = os.path.join(msi_dir, "stage-x64")
    folder = "C:\\Program Files\\Ostrelle\\"
    work = os.path.join(prefix.drive_c, "msi-test")
    os.makedirs(work)
    for name in (f"tarvex-{version}-x64.msi", f"tarvex-{newer}-x64.msi"):
        shutil.copy(os.path.join(msi_dir, name), work)
    with open(os.path.join(work, "clean.txt"), "w") as clean:
        clean.write("nothing to see here\n")
    _, path_before = prefix.path_entries()
    expect(not found_on_path(prefix, "OstrelleCmd64.exe", version), "OstrelleCmd64.exe is not on the Path yet")

    expect(prefix.msiexec("/i", f"C:\\msi-test\\tarvex-{version}-x64.msi", "/qn") == 0, f"{version} installs")
    old_key = check_installed(prefix, "x64", version, stage, folder, path_before)
    # A new process takes the Path from the registry, as a new prompt on Windows does.
    expect(found_on_path(prefix, "OstrelleCmd64.exe", version), "a new process finds OstrelleCmd64.exe on the Path")
    console_runs(prefix, "OstrelleCmd64.exe --version", version, 0)
    output = console_runs(prefix, "cd /d C:\\msi-test && OstrelleCmd64.exe content clean.txt --json",
                          '"Outcome":"clean"', 0)
    expect("clean.txt" in output, "the scan's entry names the file")

    expect(prefix.msiexec("/i", f"C:\\msi-test\\tarvex-{newer}-x64.msi", "/qn") == 0, f"{newer} installs over {version}")
    new_key = check_installed(prefix, "x64", newer, stage, folder, path_before)
    expect(new_key != old_key, f"the product {old_key.rsplit(chr(92), 1)[-1]} of {version} is gone")
    expect(found_on_path(prefix, "OstrelleCmd64.exe", version), "a new process finds OstrelleCmd64.exe on the Path")

    # Wine passes on the low byte of a Windows exit code.
    refused = prefix.msiexec("/i", f"C:\\msi-test\\tarvex-{version}-x64.msi", "/qn")
    expect(refused == ERROR_INSTALL_FAILURE & 0xFF, f"{version} refuses to install over {newer} (1603)")
    check_installed(prefix, "x64", newer, stage, folder, path_before)

    expect(prefix.msiexec("/x", f"C:\\msi-test\\tarvex-{newer}-x64.msi", "/qn") == 0, f"{newer} uninstalls")
    check_removed(prefix, "x64", folder, path_before, new_key)
    expect(not found_on_path(prefix, "OstrelleCmd64.exe", version), "OstrelleCmd64.exe is no longer on the Path")


def test_x86(prefix, msi_dir, version):
    stage = os.path.join(msi_dir, "stage-x86")
    folder = "C:\\Program Files (x86)\\Ostrelle\\"
    work = os.path.join(prefix.drive_c, "msi-test")
    os.makedirs(work)
    shutil.copy(os.path.join(msi_dir, f"tarvex-{version}-x86.msi"), work)
    _, path_before = prefix.path_entries()
    expect(prefix.msiexec("/i", f"C:\\msi-test\\tarvex-{version}-x86.msi", "/qn") == 0, f"{version} (x86) installs")
    key = check_installed(prefix, "x86", version, stage, folder, path_before)
    print("note: the installed 32-bit programs are not started: 32-bit code cannot run on this machine")
    expect(prefix.msiexec("/x", f"C:\\msi-test\\tarvex-{version}-x86.msi", "/qn") == 0, f"{version} (x86) uninstalls")
    check_removed(prefix, "x86", folder, path_before, key)


def main(arguments):
    if len(arguments) != 6 or arguments[0] not in ("x64", "x86"):
        raise SystemExit(__doc__)
    arch, msi_dir, version, newer, runner, prefix_path = arguments
    prefix = Prefix(os.path.abspath(prefix_path))
    try:
        make_prefix(prefix, runner, os.path.join(msi_dir, "stage-x64"))
        if arch == "x64":
            test_x64(prefix, msi_dir, version, newer)
        else:
            test_x86(prefix, msi_dir, version)
    except Failure as failure:
        print(f"FAILED: {failure}")
        return 1
    finally:
        prefix.stop()
    print(f"msi under Wine ({arch}): ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
