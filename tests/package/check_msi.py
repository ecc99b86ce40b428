#!/usr/bin/env python3
"""Static checks of one Ostrelle MSI with msiinfo and msiextract.

  check_msi.py <package.msi> <x64|x86> <product version> <file version> <folder>

<folder> holds the files the package was built from; the package must install
exactly those, unchanged. <file version> is the version the binaries carry in
their VERSIONINFO (four numbers).

Prints the product code, package code and upgrade code ("codes: ..."), then one
line per problem; exit code 1 when there is any.
"""
import filecmp
import os
import re
import subprocess
import sys
import tempfile

# Fixed for all time: a package with another upgrade code would not replace
# the installed versions of the fleet.
UPGRADE_CODES = {"x64": "{5B615169-2AA1-4FDA-BD41-7CBA59F85D5D}",
                 "x86": "{31F150E9-7BA6-4279-A9E2-A14C670DF8FB}"}
GUID = re.compile(r"^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$")
msidbComponentAttributes64bit = 256
msidbUpgradeAttributesMigrateFeatures = 1
msidbUpgradeAttributesOnlyDetect = 2
msidbCustomActionTypeProperty = 51


def msiinfo(*arguments):
    # In a scratch folder: "msiinfo export" writes the streams of binary columns
    # (the Icon table's) as files into the current folder.
    with tempfile.TemporaryDirectory() as scratch:
        return subprocess.run(["msiinfo", *arguments], check=True, capture_output=True,
                              text=True, cwd=scratch).stdout


def table(package, name):
    """Rows of a table as dicts; msiinfo export writes the column names, their
    types and the table's keys before the rows, tab-separated."""
    lines = msiinfo("export", os.path.abspath(package), name).rstrip("\n").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:]]


def summary(package):
    fields = {}
    for line in msiinfo("suminfo", os.path.abspath(package)).splitlines():
        key, _, value = line.partition(": ")
        fields[key] = value
    return fields


def check(package, arch, version, file_version, folder):
    problems = []

    def expect(condition, text):
        if not condition:
            problems.append(text)

    bits = "64" if arch == "x64" else ""
    program_files = "ProgramFiles64Folder" if arch == "x64" else "ProgramFilesFolder"
    files = {f"tarvex{bits}.dll": "Engine", f"Ostrelle{bits}.exe": "Application",
             f"OstrelleCmd{bits}.exe": "Console", "README.md": "Readme", "LICENSE": "License"}
    binaries = {name for name in files if name.endswith((".dll", ".exe"))}

    info = summary(package)
    expect(info.get("Template") == ("x64;1033" if arch == "x64" else "Intel;1033"),
           f"summary template {info.get('Template')}")
    package_code = info.get("Revision number (UUID)", "")
    expect(GUID.match(package_code), f"package code {package_code!r}")
    expect(info.get("Security") == "2 (2)", "summary security is not 'read-only recommended'")

    properties = {row["Property"]: row["Value"] for row in table(package, "Property")}
    expected_properties = {
        "ProductVersion": version, "UpgradeCode": UPGRADE_CODES[arch],
        "ProductName": f"Ostrelle ({'64' if arch == 'x64' else '32'}-bit)",
        "Manufacturer": "The tarvex developers", "ALLUSERS": "1", "ARPNOMODIFY": "1",
    }
    for name, value in expected_properties.items():
        expect(properties.get(name, "").upper() == value.upper(),
               f"property {name} is {properties.get(name)!r}, expected {value!r}")
    icons = {row["Name"] for row in table(package, "Icon")}
    expect(properties.get("ARPPRODUCTICON") in icons and properties.get("ARPPRODUCTICON", "").endswith(".ico"),
           f"ARPPRODUCTICON {properties.get('ARPPRODUCTICON')!r} is not an .ico of the Icon table {icons}")
    product_code = properties.get("ProductCode", "")
    expect(GUID.match(product_code.upper()), f"product code {product_code!r}")

    directories = {row["Directory"]: row for row in table(package, "Directory")}
    install = directories.get("INSTALLFOLDER", {})
    expect(install.get("Directory_Parent") == program_files and install.get("DefaultDir") == "Ostrelle",
           f"INSTALLFOLDER is {install}, expected Ostrelle in {program_files}")
    expect(directories.get(program_files, {}).get("Directory_Parent") == "TARGETDIR",
           f"{program_files} is not below TARGETDIR")

    components = {row["Component"]: row for row in table(package, "Component")}
    file_rows = {row["FileName"]: row for row in table(package, "File")}
    expect(set(file_rows) == set(files), f"files {sorted(file_rows)}, expected {sorted(files)}")
    for name, component in files.items():
        row, owner = file_rows.get(name, {}), components.get(component, {})
        expect(row.get("Component_") == component and owner.get("KeyPath") == row.get("File"),
               f"{name} is not the key file of component {component}")
        expect(owner.get("Directory_") == "INSTALLFOLDER", f"component {component} not in INSTALLFOLDER")
        is_64bit = int(owner.get("Attributes", "0")) & msidbComponentAttributes64bit != 0
        expect(is_64bit == (arch == "x64"), f"component {component}: 64-bit attribute {is_64bit}")
        size = os.path.getsize(os.path.join(folder, name))
        expect(row.get("FileSize") == str(size), f"{name}: size {row.get('FileSize')}, file has {size}")
        expected_version = file_version if name in binaries else ""
        expect(row.get("Version", "") == expected_version,
               f"{name}: version {row.get('Version')!r}, expected {expected_version!r}")
    feature_components = {row["Component_"] for row in table(package, "FeatureComponents")}
    expect(feature_components == set(files.values()), f"feature holds {sorted(feature_components)}")

    environment = table(package, "Environment")
    expect(environment == [{"Environment": "PathEntry", "Name": "=-*Path",
                            "Value": "[~];[INSTALLFOLDER]", "Component_": "Console"}],
           f"Environment table {environment}: expected the install folder appended to the "
           "system Path while the console program is installed")

    sequence = {row["Action"]: int(row["Sequence"]) for row in table(package, "InstallExecuteSequence")}
    order = [
        ("FindRelatedProducts", "LaunchConditions"),  # the downgrade check needs the search
        ("CostFinalize", "SetInstallLocation"), ("SetInstallLocation", "RegisterProduct"),
        ("InstallValidate", "RemoveExistingProducts"), ("RemoveExistingProducts", "InstallInitialize"),
        ("InstallInitialize", "RemoveEnvironmentStrings"), ("RemoveEnvironmentStrings", "RemoveFiles"),
        ("InstallFiles", "WriteEnvironmentStrings"), ("WriteEnvironmentStrings", "InstallFinalize"),
    ]
    for before, after in order:
        expect(before in sequence and after in sequence and sequence[before] < sequence[after],
               f"InstallExecuteSequence: {before} must come before {after}")

    upgrades = table(package, "Upgrade")
    upgrade_code = UPGRADE_CODES[arch]
    older = [u for u in upgrades if u["UpgradeCode"] == upgrade_code and u["VersionMax"] == version
             and not u["VersionMin"] and int(u["Attributes"]) & msidbUpgradeAttributesMigrateFeatures
             and not int(u["Attributes"]) & msidbUpgradeAttributesOnlyDetect]
    newer = [u for u in upgrades if u["UpgradeCode"] == upgrade_code and u["VersionMin"] == version
             and int(u["Attributes"]) & msidbUpgradeAttributesOnlyDetect]
    expect(len(older) == 1, f"no row that removes older versions in {upgrades}")
    expect(len(newer) == 1, f"no row that detects newer versions in {upgrades}")
    if newer:
        conditions = [row["Condition"] for row in table(package, "LaunchCondition")]
        expect(f"NOT {newer[0]['ActionProperty']}" in conditions,
               f"no launch condition refuses a downgrade: {conditions}")

    actions = {row["Action"]: row for row in table(package, "CustomAction")}
    location = actions.get("SetInstallLocation", {})
    expect(location.get("Type") == str(msidbCustomActionTypeProperty)
           and location.get("Source") == "ARPINSTALLLOCATION" and location.get("Target") == "[INSTALLFOLDER]",
           f"SetInstallLocation is {location}")

    with tempfile.TemporaryDirectory() as extracted:
        subprocess.run(["msiextract", "-C", extracted, package], check=True, capture_output=True)
        # msiextract names the folders after the standard directories it knows
        # ("Program Files/Ostrelle" for x86, "Ostrelle" for x64).
        folders = [root for root, _, _ in os.walk(extracted) if os.path.basename(root) == "Ostrelle"]
        installed = folders[0] if len(folders) == 1 else extracted
        found = sorted(os.listdir(installed)) if folders else []
        expect(found == sorted(files), f"payload {found}")
        for name in set(found) & set(files):
            expect(filecmp.cmp(os.path.join(installed, name), os.path.join(folder, name), shallow=False),
                   f"{name} in the package differs from {folder}/{name}")

    print(f"codes: product {product_code.upper()} package {package_code} upgrade {properties.get('UpgradeCode', '').upper()}")
    return problems


def main(arguments):
    if len(arguments) != 5 or arguments[1] not in UPGRADE_CODES:
        raise SystemExit(__doc__)
    problems = check(*arguments)
    for problem in problems:
        print("FAILED: " + problem)
    print(f"{os.path.basename(arguments[0])}: {'ok' if not problems else str(len(problems)) + ' problem(s)'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
