<#
.SYNOPSIS
Runs the Ostrelle console program on many hosts through PowerShell remoting
and gathers its JSON Lines into one table.

.DESCRIPTION
Each host runs one scan with OstrelleCmd64.exe (OstrelleCmd.exe on 32-bit
Windows) as installed by the Ostrelle MSI, writing JSON Lines (schema version
1, docs/output.md) into a temporary file, which is read back as UTF-8: the
console's code page never touches the names. The result is one row per
scanned object, each with the host, the run's exit code and its meaning; a
host that wrote no object (a clean run with -FindingsOnly, or a failed run)
gives one row without object members, so every host appears once at least.
Hosts that cannot be reached give a row with ExitCode $null and the error.

Exit codes of the console program: 0 nothing detected, 1 something detected
(the objects are in the table), 2 something could not be scanned, 3 usage or
target error, 4 cancelled (partial results), 5 self-test only, 6 the output
could not be written.

Works with Windows PowerShell 5.1 and PowerShell 7.

.EXAMPLE
.\Invoke-OstrelleScan.ps1 -ComputerName PC1, PC2 -Command folder -Target 'D:\Shares' |
    Export-Csv -NoTypeInformation -Encoding UTF8 scan.csv

.EXAMPLE
$rows = .\Invoke-OstrelleScan.ps1 -ComputerName (Get-Content hosts.txt) -FindingsOnly
$rows | Where-Object Outcome -eq 'detected' | Format-Table Host, Scantarget, AmsiResult
$rows | Group-Object Host | ForEach-Object { $_.Group[0] } | Format-Table Host, ExitCode, ExitMeaning
#>
[CmdletBinding()]
param(
    [Parameter(Mandatory = $true)]
    [string[]] $ComputerName,

    [ValidateSet('drives', 'folder', 'streams', 'content', 'processes', 'pid')]
    [string] $Command = 'drives',

    # The folder, file, file:stream, process name or process id, as the command needs.
    [string] $Target,

    # Leave out the objects that were scanned clean.
    [switch] $FindingsOnly,

    # The console program on the hosts; by default the MSI's install folder.
    [string] $ProgramPath,

    [pscredential] $Credential,

    [int] $ThrottleLimit = 32
)

$ExitMeanings = @{
    0 = 'complete, nothing detected'
    1 = 'something was detected'
    2 = 'nothing detected, but something could not be scanned'
    3 = 'usage error, target does not exist, or the engine cannot be loaded'
    4 = 'cancelled, partial results'
    5 = 'self-test did not detect the test string'
    6 = 'the output could not be written'
}

# Runs on each host: one scan, the JSON Lines and the exit code back.
$scanOnHost = {
    param($Command, $Target, $FindingsOnly, $ProgramPath)

    # One argument of a command line as the C runtime splits it again:
    # quotes around it, backslashes before a quote and at the end doubled
    # ('D:\My Shares\' stays one argument ending in a backslash).
    function ConvertTo-Argument([string] $Text) {
        if ($Text -and $Text -notmatch '[\s"]') { return $Text }
        $quoted = [regex]::Replace($Text, '(\\*)"', { param($m) $m.Groups[1].Value * 2 + '\"' })
        $quoted = [regex]::Replace($quoted, '(\\+)$', { param($m) $m.Groups[1].Value * 2 })
        '"' + $quoted + '"'
    }

    if (-not $ProgramPath) {
        $name = if ([Environment]::Is64BitOperatingSystem) { 'OstrelleCmd64.exe' } else { 'OstrelleCmd.exe' }
        $ProgramPath = Join-Path $env:ProgramFiles "Ostrelle\$name"
    }
    $outputFile = Join-Path $env:TEMP ('ostrelle-{0}.jsonl' -f [guid]::NewGuid())
    $stderrFile = Join-Path $env:TEMP ('ostrelle-{0}.err' -f [guid]::NewGuid())
    $arguments = @($Command)
    if ($Target) { $arguments += $Target }
    if ($FindingsOnly) { $arguments += '--findings-only' }
    $arguments += @('--json', '--out', $outputFile)
    $commandLine = ($arguments | ForEach-Object { ConvertTo-Argument $_ }) -join ' '

    $exitCode = $null
    $stderr = ''
    try {
        $process = Start-Process -FilePath $ProgramPath -ArgumentList $commandLine -NoNewWindow -Wait `
            -PassThru -RedirectStandardError $stderrFile -ErrorAction Stop
        $exitCode = $process.ExitCode
    } catch {
        $stderr = "could not start ${ProgramPath}: $($_.Exception.Message)"
    }
    $lines = @()
    if (Test-Path -LiteralPath $outputFile) {
        # UTF-8 whatever the console's code page: names arrive unchanged.
        $lines = @(Get-Content -LiteralPath $outputFile -Encoding UTF8)
        Remove-Item -LiteralPath $outputFile -Force
    }
    if (Test-Path -LiteralPath $stderrFile) {
        $text = Get-Content -LiteralPath $stderrFile -Raw
        if ($text) { $stderr = $text.Trim() }
        Remove-Item -LiteralPath $stderrFile -Force
    }
    [pscustomobject]@{
        ExitCode = $exitCode
        Lines    = $lines
        Stderr   = $stderr
    }
}

$invokeParameters = @{
    ComputerName  = $ComputerName
    ScriptBlock   = $scanOnHost
    ArgumentList  = @($Command, $Target, [bool]$FindingsOnly, $ProgramPath)
    ThrottleLimit = $ThrottleLimit
    ErrorAction   = 'SilentlyContinue'
    ErrorVariable = 'remoteErrors'
}
if ($Credential) { $invokeParameters.Credential = $Credential }
$results = Invoke-Command @invokeParameters

$objectMembers = 'Outcome', 'Scantarget', 'ProcessName', 'ProcessID', 'AmsiResult', 'IsMalware',
    'Scannermessage', 'ScannerErrornumber'

# One output row: the host's columns, then the object's members (empty without one).
function New-Row($HostColumns, $Object) {
    $row = [ordered]@{}
    foreach ($key in $HostColumns.Keys) { $row[$key] = $HostColumns[$key] }
    foreach ($member in $objectMembers) {
        $row[$member] = if ($Object) { $Object.$member } else { $null }
    }
    [pscustomobject]$row
}

foreach ($result in $results) {
    $records = @($result.Lines | Where-Object { $_ } | ForEach-Object { $_ | ConvertFrom-Json })
    $runStart = $records | Where-Object Record -eq 'run_start' | Select-Object -First 1
    $runEnd = $records | Where-Object Record -eq 'run_end' | Select-Object -First 1
    if ($null -eq $result.ExitCode) {
        $meaning = 'not run'
    } elseif ($ExitMeanings.ContainsKey([int]$result.ExitCode)) {
        $meaning = $ExitMeanings[[int]$result.ExitCode]
    } else {
        $meaning = 'unknown exit code'
    }
    $hostColumns = [ordered]@{
        Host           = $result.PSComputerName
        ExitCode       = $result.ExitCode
        ExitMeaning    = $meaning
        Partial        = if ($runEnd) { $runEnd.Partial } else { $null }
        ProgramVersion = if ($runStart) { $runStart.ProgramVersion } else { $null }
        StartTime      = if ($runStart) { $runStart.StartTime } else { $null }
        EndTime        = if ($runEnd) { $runEnd.EndTime } else { $null }
        Stderr         = $result.Stderr
    }
    $objects = @($records | Where-Object Record -eq 'object')
    if ($objects.Count -eq 0) {
        New-Row $hostColumns $null
    }
    foreach ($object in $objects) {
        New-Row $hostColumns $object
    }
}

# Hosts that could not be reached, or whose script failed before it returned.
foreach ($remoteError in $remoteErrors) {
    $name = if ($remoteError.OriginInfo) { $remoteError.OriginInfo.PSComputerName } else { $remoteError.TargetObject }
    $hostColumns = [ordered]@{
        Host           = $name
        ExitCode       = $null
        ExitMeaning    = "not reached: $($remoteError.Exception.Message)"
        Partial        = $null
        ProgramVersion = $null
        StartTime      = $null
        EndTime        = $null
        Stderr         = ''
    }
    New-Row $hostColumns $null
}
