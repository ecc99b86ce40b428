#!/usr/bin/env bash
# Builds the Windows Installer package of one architecture with wixl (msitools):
#
#   tools/package-msi.sh <x64|x86> <version> <folder> <output.msi>
#
# <folder> holds the files to install: the engine, the window application, the
# console program (with the "64" suffix for x64), README.md and LICENSE.
# <version> is the product version, three numbers (tools/package.sh passes the
# project version). The WiX source is tools/msi/ostrelle.wxs.
#
# wixl has no Environment element, so the PATH entry is added to the built
# database with msibuild: an Environment table row "=-*Path" = "[~];[INSTALLFOLDER]"
# (append the install folder to the system PATH, remove that part again when
# the console program's component is removed) and the standard actions
# WriteEnvironmentStrings and RemoveEnvironmentStrings. wixl places every
# custom action after InstallFinalize, too late to set ARPINSTALLLOCATION (the
# uninstall entry's "InstallLocation", where fleet tools find the programs), so
# that action is added here as well. The File table gets each binary's file
# version, which wixl leaves empty.
#
# Reproducible: the product code comes from the upgrade code and the version,
# the package code from the inputs, and the cabinet's file times and the
# summary information's times are the last commit's time (or
# SOURCE_DATE_EPOCH); the same inputs and tools give a byte-identical package.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 4 ] || { sed -n '2,9p' "$0" >&2; exit 2; }
arch=$1 version=$2 stage=$3 output=$4
# The system interpreter: python3-olefile is a Debian package.
python=/usr/bin/python3
steps=$root/tools/msi/msi_build_steps.py
wxs=$root/tools/msi/ostrelle.wxs

case $arch in
  x64) bits=64 ;;
  x86) bits= ;;
  *) echo "unknown architecture: $arch (x64 or x86)" >&2; exit 2 ;;
esac
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "version must be three numbers: $version" >&2; exit 2; }
for tool in wixl msibuild msiinfo; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run tools/install-deps.sh" >&2; exit 1; }
done
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/files"
binaries=("tarvex$bits.dll" "Ostrelle$bits.exe" "OstrelleCmd$bits.exe")
for file in "${binaries[@]}" README.md LICENSE; do
  cp "$stage/$file" "$work/files/" || { echo "missing in $stage: $file" >&2; exit 1; }
done
cp "$root/app/ostrelle.ico" "$work/files/"
# The cabinet records each file's time.
touch -d "@$epoch" "$work/files/"*

# wixl reads sources relative to the folder it runs in.
defines=(-D "Arch=$arch" -D "Version=$version" -D StageDir=. -D IconFile=ostrelle.ico)
upgrade_code=$(wixl -E "${defines[@]}" -D ProductCode=none "$wxs" |
  grep -o 'UpgradeCode="[^"]*"' | head -n1 | cut -d'"' -f2)
[ -n "$upgrade_code" ] || { echo "no UpgradeCode in $wxs" >&2; exit 1; }
printf '%s\n' "$arch" "$(wixl --version)" > "$work/tools.txt"
mapfile -t codes < <("$python" "$steps" codes "$upgrade_code" "$version" \
  "$wxs" "$0" "$steps" "$work/tools.txt" "$work/files/"*)
product_code=${codes[0]} package_code=${codes[1]}

package=$work/package.msi
(cd "$work/files" && wixl -a "$arch" "${defines[@]}" -D "ProductCode=$product_code" -o "$package" "$wxs")

queries=(
  'CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, `Name` CHAR(255) NOT NULL LOCALIZABLE, `Value` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL PRIMARY KEY `Environment`)'
  "INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`) VALUES ('PathEntry', '=-*Path', '[~];[INSTALLFOLDER]', 'Console')"
  # The standard places of the two actions in the execute sequence.
  "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)"
  "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)"
  # Type 51: set a property, immediately; right after CostFinalize has resolved INSTALLFOLDER.
  "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('SetInstallLocation', 51, 'ARPINSTALLLOCATION', '[INSTALLFOLDER]')"
  "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('SetInstallLocation', 1001)"
)
declare -A file_ids=(["tarvex$bits.dll"]=EngineDll ["Ostrelle$bits.exe"]=ApplicationExe
                     ["OstrelleCmd$bits.exe"]=ConsoleExe)
for file in "${binaries[@]}"; do
  file_version=$("$python" "$steps" file-version "$work/files/$file")
  [ -n "$file_version" ] || { echo "$file has no VERSIONINFO" >&2; exit 1; }
  queries+=("UPDATE \`File\` SET \`Version\` = '$file_version', \`Language\` = '0' WHERE \`File\` = '${file_ids[$file]}'")
done
query_options=()
for query in "${queries[@]}"; do query_options+=(-q "$query"); done
msibuild "$package" "${query_options[@]}"

"$python" "$steps" summary "$package" "$package_code" "$epoch"
mkdir -p "$(dirname "$output")"
mv "$package" "$output"
