// Names of the files and programs this utility works with, and its title.
#ifndef KX_UI_NAMES_H_
#define KX_UI_NAMES_H_

/// Console window title and banner title.
inline constexpr char kProductTitle[] = "KX REdevi P3P Online Firmware Upgrade Utility for Windows";
/// The package configuration, looked up in the current directory.
inline constexpr char kPackageConfigFile[] = "ZOVOREruz.xml";
/// The flash tool's command text; its first word names the program.
inline constexpr char kFlashToolCommand[] = "zadiroz -flashsupport";
/// The flash tool's program name (the first word of its command text).
inline constexpr char kFlashToolProgram[] = "zadiroz";
/// The supporting executable that ships beside the flash tool.
inline constexpr char kSupportExecutable[] = "vareviv_x86.exe";
/// This utility's own executable name, as shipped.
inline constexpr char kProgramExecutable[] = "KXVaReviv.exe";
/// The NIC list that the flash tool writes for discovery.
inline constexpr char kNicListFile[] = "tempNicList.xml";
/// The folder in the root of the system drive that holds the log folder and
/// the utility's run lock.
inline constexpr char kSystemFolderName[] = "zpxsystem";
/// The lock file that the vendor's flash tools leave in the temporary directory.
inline constexpr char kLockFileName[] = "rozado_lock_file";

#endif  // KX_UI_NAMES_H_
