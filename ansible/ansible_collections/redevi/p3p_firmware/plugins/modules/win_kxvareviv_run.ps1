#!powershell
# The host's part of one run of KXVaReviv on a Windows host, in one round trip:
# the same options and return values as the Python module kxvareviv_run. The
# action plugin kxvareviv_run calls it for hosts whose shell is PowerShell, and
# decides everything else.

#AnsibleRequires -CSharpUtil Ansible.Basic
#Requires -Module Ansible.ModuleUtils.ArgvParser
#Requires -Module Ansible.ModuleUtils.CommandUtil

$options = @{
    options = @{
        package_dir = @{ type = "str"; required = $true }
        executable = @{ type = "str"; default = "" }
        arguments = @{ type = "list"; elements = "str"; required = $true }
        environment = @{ type = "dict"; default = @{} }
        log_path = @{ type = "str"; default = "" }
        image_sha256 = @{ type = "str"; default = "" }
        report_file = @{ type = "str"; default = "" }
        require_package = @{ type = "bool"; default = $false }
    }
    supports_check_mode = $true
}
$module = [Ansible.Basic.AnsibleModule]::Create($args, $options)
$packageDir = $module.Params.package_dir
$arguments = [string[]]$module.Params.arguments

Function Join-PackagePath([string]$name) {
    if ([System.IO.Path]::IsPathRooted($name)) { return $name }
    return [System.IO.Path]::Combine($packageDir, $name)
}

Function Get-Attribute($element, [string]$name) {
    # The utility matches attribute names without regard to letter case.
    foreach ($attribute in $element.Attributes) {
        if ($attribute.Name -ieq $name) { return $attribute.Value }
    }
    return ""
}

Function Read-PackageConfig {
    $facts = @{ exists = $false; readable = $false; image = $null; versions = @() }
    $path = Join-PackagePath "ZOVOREruz.xml"
    if (-not (Test-Path -LiteralPath $path -PathType Leaf)) { return $facts }
    $facts.exists = $true
    $document = New-Object -TypeName System.Xml.XmlDocument
    $document.XmlResolver = $null
    try { $document.Load($path) } catch { return $facts }
    $facts.readable = $true
    $versions = [System.Collections.Generic.List[string]]@()
    foreach ($group in $document.DocumentElement.ChildNodes) {
        if ($group.NodeType -ne "Element" -or $group.Name -cne "nic") { continue }
        foreach ($entry in $group.ChildNodes) {
            if ($entry.NodeType -ne "Element" -or $entry.Name -cne "nic") { continue }
            $image = Get-Attribute $entry "fwFile"
            if ($image) { $facts.image = $image }
            $rom = (Get-Attribute $entry "rom").Trim()
            if ($rom -and -not $versions.Contains($rom)) { $versions.Add($rom) }
        }
    }
    $facts.versions = $versions.ToArray()
    return $facts
}

Function Test-LogSound([string]$path) {
    # The log is read only where the utility writes it: not through a folder
    # junction, mount point or link.
    $logFolder = [System.IO.Path]::GetDirectoryName($path)
    foreach ($item in @([System.IO.Path]::GetDirectoryName($logFolder), $logFolder, $path)) {
        if (-not (Test-Path -LiteralPath $item)) { return $false }
        $attributes = [System.IO.File]::GetAttributes($item)
        if ($attributes -band [System.IO.FileAttributes]::ReparsePoint) { return $false }
    }
    return $true
}

Function Get-LogSize([string]$path) {
    if (-not (Test-LogSound $path)) { return 0 }
    return (Get-Item -LiteralPath $path).Length
}

Function Read-Appended([string]$path, [long]$before) {
    if (-not (Test-LogSound $path)) { return "" }
    $stream = New-Object -TypeName System.IO.FileStream -ArgumentList @(
        $path, [System.IO.FileMode]::Open, [System.IO.FileAccess]::Read, [System.IO.FileShare]::ReadWrite)
    try {
        # A log that is now shorter was replaced meanwhile: all of it is the run's.
        if ($before -gt $stream.Length) { $before = 0 }
        $null = $stream.Seek($before, [System.IO.SeekOrigin]::Begin)
        $reader = New-Object -TypeName System.IO.StreamReader -ArgumentList @($stream, [System.Text.Encoding]::UTF8)
        return $reader.ReadToEnd()
    }
    finally {
        $stream.Dispose()
    }
}

if ($module.CheckMode) {
    # The controller turns every run under check mode into the check; a command
    # that could flash never runs here under check mode.
    foreach ($argument in $arguments) {
        if ($argument -cne "-n" -and $argument -cne "-debug") {
            $module.FailJson("Under check mode only the check (-n) runs, not $($arguments -join ' ')")
        }
    }
}

$log = $module.Params.log_path
if (-not $log) {
    $drive = [System.IO.Path]::GetPathRoot([System.Environment]::SystemDirectory).TrimEnd('\')
    $log = "$drive\zpxsystem\log\veskor.log"
}
$reportFile = if ($module.Params.report_file) { $module.Params.report_file } else { "kxvareviv-report.xml" }
$module.Result.windows = $true
$module.Result.ran = $false
$module.Result.held = $null
$module.Result.rc = $null
$module.Result.start_error = ""
$module.Result.log_path = $log
$module.Result.log = ""
$module.Result.report_path = Join-PackagePath $reportFile
$module.Result.package = Read-PackageConfig
$module.Result.image = $null

# held: why the utility did not run (no package configuration, an image that
# is not the published one).
if ($module.Params.require_package -and -not $module.Result.package.exists) {
    $module.Result.held = "package"
    $module.ExitJson()
}
if ($module.Params.image_sha256) {
    $check = @{ state = "ok"; path = $null; sha256 = $null }
    if (-not $module.Result.package.image) {
        $check.state = "no_image"
    }
    else {
        # The flash tool reads what a link points to, and so is the image hashed.
        $check.path = Join-PackagePath $module.Result.package.image
        if (-not (Test-Path -LiteralPath $check.path -PathType Leaf)) {
            $check.state = "missing"
        }
        else {
            $check.sha256 = (Get-FileHash -LiteralPath $check.path -Algorithm SHA256).Hash.ToLowerInvariant()
            if ($check.sha256 -ne $module.Params.image_sha256) { $check.state = "altered" }
        }
    }
    $module.Result.image = $check
    if ($check.state -ne "ok") {
        $module.Result.held = "image"
        $module.ExitJson()
    }
}

foreach ($variable in $module.Params.environment.GetEnumerator()) {
    [System.Environment]::SetEnvironmentVariable([string]$variable.Key, [string]$variable.Value, "Process")
}
$executable = if ($module.Params.executable) { $module.Params.executable } else { Join-PackagePath "KXVaReviv.exe" }
$before = Get-LogSize $log
if (-not (Test-Path -LiteralPath $packageDir -PathType Container)) {
    $module.Result.start_error = "Unable to change directory before execution: the folder $packageDir does not exist"
    $module.ExitJson()
}
try {
    $command = Argv-ToString -arguments (@($executable) + $arguments)
    $run = Run-Command -command $command -working_directory $packageDir
}
catch {
    $module.Result.start_error = "Unable to start ${executable}: $($_.Exception.Message)"
    $module.ExitJson()
}
$module.Result.rc = $run.rc
$module.Result.ran = $true
$module.Result.log = Read-Appended $log $before
$module.ExitJson()
